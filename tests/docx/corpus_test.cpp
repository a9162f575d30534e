// Real documents from other writers: every multi-section document splits into
// pieces that pass the package checker.

#include <gtest/gtest.h>

#include <filesystem>

#include "docx_test_support.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusDocuments() {
  std::vector<fs::path> files;
  const std::string corpus = testing_support::CorpusDir();
  if (corpus.empty()) return files;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".docx" || ext == ".dotx" || ext == ".docm" || ext == ".dotm")
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Corpus, every_document_splits_into_valid_pieces) {
  const auto files = CorpusDocuments();
  if (files.empty()) GTEST_SKIP() << "no corpus at ../shared/corpus";
  testing_support::TempDir out;
  int pieces = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].filename() == "lo-merge-1000.docx") continue;  // the benchmark's
    const fs::path folder = out.path() / std::to_string(i);
    fs::create_directory(folder);
    const auto result = docx_test::Split(files[i].string(), folder.string());
    EXPECT_TRUE(result.reports.empty()) << files[i] << ": " << result.reports.front();
    pieces += static_cast<int>(result.files.size());
  }
  EXPECT_GT(pieces, 200);
  if (!testing_support::HavePython()) GTEST_SKIP() << "python3 for the package checker is not here";
  bool ok = false;
  std::string folders;
  for (const auto& entry : fs::directory_iterator(out.path()))
    folders += " " + testing_support::Quote(entry.path().string());
  const auto check = testing_support::RunCommand(
      "python3 " + testing_support::Quote(testing_support::SharedDir() + "/tools/docx-check") +
      " --quiet" + folders);
  ok = check.exitCode == 0;
  EXPECT_TRUE(ok) << check.output;
  EXPECT_GT(pieces, 200);
}

}  // namespace
