// bench_make_merge: writes a benchmark input and says how long that took.
//
//   bench_make_merge [--kind KIND] [--seed N] RECORDS FILE
//
// KIND is benchmark (the default: a one-page letter with a header image, a
// footer and a table), letters, invoices or certificates.

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "samples/samplegen.h"

namespace {

namespace sg = samples;

int Usage() {
  std::cerr << "usage: bench_make_merge [--kind KIND] [--seed N] RECORDS FILE\n"
               "  KIND: benchmark (default), letters, invoices, certificates\n";
  return 2;
}

bool ToNumber(const std::string& text, long long* value) {
  try {
    std::size_t used = 0;
    *value = std::stoll(text, &used);
    return used == text.size();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  sg::Kind kind = sg::Kind::kBenchmarkLetter;
  sg::Options options;
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--kind") {
      const auto parsed = sg::ParseKind(argv[i + 1]);
      if (!parsed) return Usage();
      kind = *parsed;
    } else if (flag == "--seed") {
      long long seed = 0;
      if (!ToNumber(argv[i + 1], &seed) || seed < 0) return Usage();
      options.seed = static_cast<std::uint64_t>(seed);
    } else {
      return Usage();
    }
  }
  if (argc - i != 2) return Usage();
  long long records = 0;
  if (!ToNumber(argv[i], &records) || records < 1 || records > 10'000'000) return Usage();
  const std::string path = argv[i + 1];

  try {
    const auto start = std::chrono::steady_clock::now();
    sg::WriteMerge(path, kind, static_cast<int>(records), options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %lld records, %.1f MB, generated in %.3f s\n", path.c_str(), records,
                std::filesystem::file_size(path) / 1e6, seconds);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "bench_make_merge: " << e.what() << "\n";
    return 1;
  }
}
