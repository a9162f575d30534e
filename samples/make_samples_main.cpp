// parvane-make-samples: writes the sample mail merges.
//
//   parvane-make-samples --samples DIR [--help-source FILE]
//       the merges of the shipped "Samples" folder into DIR, and the merge
//       behind the help's sample document as FILE (.docx)
//   parvane-make-samples [--seed N] KIND RECORDS FILE
//       one merge of RECORDS records; KIND is letters, invoices,
//       certificates or benchmark
//
// Exit status: 0 on success, 1 when a file could not be written, 2 on bad usage.

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "samples/samplegen.h"
#include "support/paths.h"

namespace {

namespace sg = samples;

const char* kUsage =
    "usage: parvane-make-samples --samples DIR [--help-source FILE]\n"
    "       parvane-make-samples [--seed N] KIND RECORDS FILE\n"
    "  KIND is letters, invoices, certificates or benchmark\n";

int Usage(const std::string& problem) {
  std::cerr << "parvane-make-samples: " << problem << "\n" << kUsage;
  return 2;
}

// A whole decimal number from `lo` up, or nothing.
bool ParseNumber(const std::string& text, long long lo, long long* value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  *value = std::stoll(text);
  return *value >= lo;
}

void Write(const std::filesystem::path& path, const sg::ShippedSample& sample) {
  sg::Options options;
  options.seed = sample.seed;
  sg::WriteMerge(support::FromFsPath(path), sample.kind, sample.records, options);
  std::cout << support::FromFsPath(path) << " (" << sample.records << " records)\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (!args.empty() && args[0] == "--samples") {
      if (args.size() != 2 && !(args.size() == 4 && args[2] == "--help-source"))
        return Usage("--samples takes a folder and optionally --help-source FILE");
      const std::filesystem::path folder = support::ToFsPath(args[1]);
      std::filesystem::create_directories(folder);
      for (const auto& sample : sg::ShippedSamples())
        Write(folder / support::ToFsPath(sample.fileName), sample);
      if (args.size() == 4) {
        const std::filesystem::path helpSource = support::ToFsPath(args[3]);
        if (helpSource.has_parent_path())
          std::filesystem::create_directories(helpSource.parent_path());
        Write(helpSource, sg::HelpSample());
      }
      return 0;
    }

    sg::Options options;
    std::size_t at = 0;
    if (args.size() > at && args[at] == "--seed") {
      long long seed = 0;
      if (args.size() < at + 2 || !ParseNumber(args[at + 1], 0, &seed))
        return Usage("--seed takes a whole number");
      options.seed = static_cast<std::uint64_t>(seed);
      at += 2;
    }
    if (args.size() != at + 3) return Usage("expected KIND RECORDS FILE");
    const auto kind = sg::ParseKind(args[at]);
    if (!kind) return Usage("unknown kind \"" + args[at] + "\"");
    long long records = 0;
    if (!ParseNumber(args[at + 1], 1, &records) || records > 10'000'000)
      return Usage("RECORDS must be a whole number from 1 to 10000000");
    sg::WriteMerge(args[at + 2], *kind, static_cast<int>(records), options);
    std::cout << args[at + 2] << " (" << records << " records)\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "parvane-make-samples: " << e.what() << "\n";
    return 1;
  }
}
