// parvane-split as a user runs it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

}  // namespace
