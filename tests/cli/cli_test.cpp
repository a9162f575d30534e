// parvane-split as a user runs it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "docx/document.h"
#include "docx_fixture.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::Quote;
using testing_support::RunCommand;
using testing_support::TempDir;

namespace {

std::string Split() { return Quote(testing_support::BinDir() + "/parvane-split"); }

void WriteMerge(const std::string& path) {
  fixture::Write(path, fixture::Merge({{"Dear Ann,", "Your order shipped."},
                                       {"Dear Bob,", "Your order is late."},
                                       {"Dear Cy,", "Thank you."}}));
}

TEST(CommandLine, bad_usage_exits_with_two_and_says_how) {
  for (const std::string args : {"", "-o", "--name-by-content nowhere a.docx", "-x abc a.docx",
                                 "--frobnicate a.docx"}) {
    const auto r = RunCommand(Split() + " " + args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.output.find("usage: parvane-split"), std::string::npos) << args;
  }
  EXPECT_EQ(RunCommand(Split() + " --help").exitCode, 0);
}

TEST(CommandLine, a_missing_output_folder_is_refused_before_anything_is_split) {
  TempDir dir;
  WriteMerge(dir.file("Letters.docx"));
  const auto r = RunCommand(Split() + " -o " + Quote(dir.file("nowhere")) + " " +
                            Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("Folder does not exist. Please select another folder."),
            std::string::npos);
  EXPECT_EQ(testing_support::FilesIn(dir.path()), std::vector<std::string>{"Letters.docx"});
}

TEST(CommandLine, splits_into_the_folder_and_names_every_piece) {
  TempDir dir;
  fs::create_directory(dir.path() / "out");
  WriteMerge(dir.file("Letters.docx"));
  const auto r = RunCommand(Split() + " -o " + Quote(dir.file("out")) + " " +
                            Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path() / "out"),
            (std::vector<std::string>{"Letters-0001.docx", "Letters-0002.docx",
                                      "Letters-0003.docx"}));
  EXPECT_NE(r.output.find("Letters-0002.docx\n"), std::string::npos);
  EXPECT_NE(r.output.find("3 pieces from 1 document in "), std::string::npos);

  // A second run of the same split replaces the pieces of the first: users
  // split again after fixing their merge.
  WriteMerge(dir.file("Letters.docx"));
  testing_support::WriteFile(dir.path() / "out" / "Letters-0002.docx", "an earlier run's piece");
  const auto again = RunCommand(Split() + " -o " + Quote(dir.file("out")) + " " +
                                Quote(dir.file("Letters.docx")));
  EXPECT_EQ(again.exitCode, 0) << again.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path() / "out").size(), 3u);
  EXPECT_NE(testing_support::ReadFile(dir.path() / "out" / "Letters-0002.docx"),
            "an earlier run's piece");
}

TEST(CommandLine, failures_are_reported_in_the_windows_words_and_the_rest_goes_on) {
  TempDir dir;
  WriteMerge(dir.file("Letters.docx"));
  testing_support::WriteFile(dir.file("broken.docx"), "not a zip at all");
  const auto r = RunCommand(Split() + " " + Quote(dir.file("missing.docx")) + " " +
                            Quote(dir.file("broken.docx")) + " " + Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("in Vellomir2021/08/31.Word1.DoItByFile at line 102\n"),
            std::string::npos);
  EXPECT_NE(r.output.find("Please email screenshot of this message to "), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.file("Letters-0003.docx")));
  EXPECT_EQ(testing_support::ReadFile(dir.file("broken.docx")), "not a zip at all");
}

TEST(CommandLine, content_naming_keeps_no_working_copy_and_no_existing_file_is_touched) {
  TempDir dir;
  WriteMerge(dir.file("merge.docx"));
  testing_support::WriteFile(dir.file("Dear.docx"), "somebody's own");
  // TEMP for the program alone, the same way on every platform's shell.
  const char* old = std::getenv("TEMP");
  const std::string saved = old ? old : "";
  setenv("TEMP", dir.str().c_str(), 1);
  const auto r =
      RunCommand(Split() + " --name-by-content first -x 1 " + Quote(dir.file("merge.docx")));
  if (old)
    setenv("TEMP", saved.c_str(), 1);
  else
    unsetenv("TEMP");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Dear-0001.docx", "Dear-0002.docx", "Dear-0003.docx",
                                      "Dear.docx", "merge.docx"}));
  EXPECT_EQ(testing_support::ReadFile(dir.file("Dear.docx")), "somebody's own");
}

TEST(CommandLine, each_piece_is_named_from_its_own_words) {
  TempDir dir, temp;
  fixture::Write(dir.file("merge.docx"), fixture::Merge({{"Dear Ann Lee,", "Your order shipped."},
                                                         {"Dear Bob Stone,", "Thank you."},
                                                         {"", "Nothing to greet."},
                                                         {"Dear Ann Lee,", "Again."}}));
  const char* old = std::getenv("TEMP");
  const std::string saved = old ? old : "";
  setenv("TEMP", temp.str().c_str(), 1);
  const auto r =
      RunCommand(Split() + " --name-by-content first --each -x 3 " + Quote(dir.file("merge.docx")));
  if (old)
    setenv("TEMP", saved.c_str(), 1);
  else
    unsetenv("TEMP");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Dear Ann Lee,-0001.docx", "Dear Ann Lee,-0004.docx",
                                      "Dear Bob Stone,-0002.docx", "Nothing to greet.-0003.docx",
                                      "merge.docx"}));
  EXPECT_TRUE(fs::is_empty(temp.path()));
  EXPECT_EQ(RunCommand(Split() + " --each " + Quote(dir.file("merge.docx"))).exitCode, 2);
}

std::string StoryOf(const fs::path& piece) {
  auto doc = docx::Document::Open(piece.string());
  return doc->Text(0, doc->StoryLength());
}

// Two content-named runs started together, on different documents, with one
// temporary folder: each run's pieces hold its own document's records and
// carry its own name, both runs succeed and nothing is left behind.
TEST(CommandLine, two_content_named_runs_at_once_never_mix_their_documents) {
#ifdef _WIN32
  GTEST_SKIP() << "starts the two runs together through a POSIX shell";
#endif
  TempDir dir, temp;
  const std::vector<std::string> who = {"Alpha", "Beta"};
  for (const std::string& w : who) {
    std::vector<std::vector<std::string>> records;
    for (int r = 1; r <= 4; ++r)
      records.push_back({w + " letter to customer " + std::to_string(r), "Kind regards"});
    fs::create_directory(dir.path() / w);
    fixture::Write(dir.file(w + "/merge.docx"), fixture::Merge(records));
  }
  const std::string run = Split() + " --name-by-content first -x 2 ";
  const std::string both = "export TEMP=" + Quote(temp.str()) + "; " + run +
                           Quote(dir.file("Alpha/merge.docx")) + " >" + Quote(dir.file("a.log")) +
                           " 2>&1 & a=$!; " + run + Quote(dir.file("Beta/merge.docx")) + " >" +
                           Quote(dir.file("b.log")) + " 2>&1 & b=$!; wait $a; ra=$?; wait $b; " +
                           "echo exit $ra $?";
  constexpr int kRepetitions = 50;
  int mixed = 0, failed = 0;
  for (int rep = 0; rep < kRepetitions; ++rep) {
    const auto r = RunCommand(both);
    if (r.output.find("exit 0 0") == std::string::npos) {
      ++failed;
      ADD_FAILURE() << r.output << testing_support::ReadFile(dir.file("a.log"))
                    << testing_support::ReadFile(dir.file("b.log"));
    }
    for (std::size_t k = 0; k < who.size(); ++k) {
      const fs::path folder = dir.path() / who[k];
      const auto files = testing_support::FilesIn(folder);
      std::vector<std::string> expected = {"merge.docx"};
      for (int i = 1; i <= 4; ++i)
        expected.push_back(who[k] + " letter-000" + std::to_string(i) + ".docx");
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(files, expected) << who[k];
      for (const std::string& f : files) {
        if (f == "merge.docx") continue;
        const std::string story = StoryOf(folder / f);
        if (story.find(who[k]) != 0 || story.find(who[1 - k]) != std::string::npos) ++mixed;
        fs::remove(folder / f);
      }
    }
    EXPECT_TRUE(fs::is_empty(temp.path())) << rep;
  }
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(failed, 0);
  std::cout << "[ note ] " << kRepetitions << " pairs of simultaneous runs: " << failed
            << " failed, " << mixed << " pieces held the other document\n";
}

}  // namespace
