#include "support/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing.h"

namespace fs = std::filesystem;
using namespace support;
using testing_support::TempDir;

namespace {

// The helper table is written with "\"; each case runs with "\" and with "/".
struct PathCase {
  const char* operation;
  const char* input;
  const char* expected;
};

const PathCase kCases[] = {
    {"GetFileName", R"(C:\Docs\letter.doc)", "letter.doc"},
    {"GetFileName", "letter.doc", "letter.doc"},
    {"GetFileName", R"(C:\Docs\)", ""},
    {"GetFolderPart", R"(C:\Docs\letter.doc)", R"(C:\Docs\)"},
    {"GetFolderPart", "letter.doc", ""},
    {"CollapseSeparators", R"(C:\Docs\\letter.doc)", R"(C:\Docs\letter.doc)"},
    {"CollapseSeparators", R"(C:\Docs\\\letter.doc)", R"(C:\Docs\\letter.doc)"},
    {"CollapseSeparators", R"(C:\Docs\\\\letter.doc)", R"(C:\Docs\\letter.doc)"},
    {"CollapseSeparators", R"(\\server\share\\a.doc)", R"(\\server\share\a.doc)"},
    {"CollapseSeparators", R"(\\\server\a.doc)", R"(\\server\a.doc)"},
    {"CollapseSeparators", R"(\\\\)", R"(\\)"},
    {"CollapseSeparators", "", ""},
};

std::string With(const char* text, char sep) {
  std::string s = text;
  for (auto& c : s)
    if (c == '\\') c = sep;
  return s;
}

std::string Apply(const std::string& operation, const std::string& input, char sep) {
  if (operation == "GetFileName") return GetFileName(input, sep);
  if (operation == "GetFolderPart") return GetFolderPart(input, sep);
  if (operation == "CollapseSeparators") return CollapseSeparators(input, sep);
  ADD_FAILURE() << "unknown operation " << operation;
  return {};
}

class PathTable : public ::testing::TestWithParam<char> {};

TEST_P(PathTable, every_case_of_the_helper_table_holds) {
  const char sep = GetParam();
  for (const auto& c : kCases) {
    EXPECT_EQ(Apply(c.operation, With(c.input, sep), sep), With(c.expected, sep))
        << c.operation << "(" << With(c.input, sep) << ")";
  }
}

TEST_P(PathTable, the_other_separator_is_an_ordinary_character) {
  const char sep = GetParam();
  const char other = sep == '\\' ? '/' : '\\';
  const std::string path = std::string("a") + other + "b";
  EXPECT_EQ(GetFileName(path, sep), path);
  EXPECT_EQ(GetFolderPart(path, sep), "");
  EXPECT_EQ(CollapseSeparators(std::string(2, other), sep), std::string(2, other));
}

TEST(CollapseSeparators, a_single_leading_separator_gains_a_second_only_with_backslash) {
  EXPECT_EQ(CollapseSeparators(R"(\Docs\a.doc)", '\\'), R"(\\Docs\a.doc)");
  EXPECT_EQ(CollapseSeparators(R"(\)", '\\'), R"(\\)");
  // With "/" it is the root of an absolute path.
  EXPECT_EQ(CollapseSeparators("/Docs//a.doc", '/'), "/Docs/a.doc");
  EXPECT_EQ(CollapseSeparators("/", '/'), "/");
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, PathTable, ::testing::Values('\\', '/'));

TEST(NameParts, extension_and_base_follow_the_last_dot) {
  EXPECT_EQ(StripExtension("letter.final.doc"), "letter.final");
  EXPECT_EQ(StripExtension(".doc"), ".doc");
  EXPECT_EQ(StripExtension("letter"), "letter");
  EXPECT_EQ(StripExtension(""), "");
  EXPECT_EQ(GetExtension("letter.final.doc"), "doc");
  EXPECT_EQ(GetExtension("letter"), "letter");
  EXPECT_EQ(GetExtension("letter."), "");
  EXPECT_EQ(GetExtension(".doc"), "doc");
}

TEST(NameParts, zero_pad_pads_and_never_cuts) {
  EXPECT_EQ(ZeroPad(7, 4), "0007");
  EXPECT_EQ(ZeroPad(1, 4), "0001");
  EXPECT_EQ(ZeroPad(12345, 4), "12345");
  EXPECT_EQ(ZeroPad(-7, 4), "00-7");
  EXPECT_EQ(ZeroPad(0, 0), "0");
}

TEST(ListMembership, comparison_is_exact) {
  EXPECT_FALSE(ListContains({R"(C:\A.doc)"}, R"(c:\a.doc)"));
  EXPECT_TRUE(ListContains({"x", R"(C:\A.doc)"}, R"(C:\A.doc)"));
  EXPECT_FALSE(ListContains({}, "x"));
}

TEST(FileTests, exists_and_folder_answer_without_failing) {
  TempDir dir;
  const std::string file = dir.file("a.docx");
  testing_support::WriteFile(file, "x");
  EXPECT_FALSE(PathExists(""));
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(dir.str()));
  EXPECT_FALSE(PathExists(dir.file("missing")));
  EXPECT_TRUE(IsFolder(dir.str()));
  EXPECT_FALSE(IsFolder(file));
  EXPECT_FALSE(IsFolder(dir.file("missing")));
  EXPECT_FALSE(IsFolder(""));
}

TEST(FileTests, same_file_sees_through_doubled_separators) {
  TempDir dir;
  const std::string file = dir.file("a.docx");
  testing_support::WriteFile(file, "x");
  EXPECT_TRUE(SameFile(file, dir.str() + "//a.docx"));
  EXPECT_FALSE(SameFile(file, dir.file("b.docx")));
  EXPECT_FALSE(SameFile("", file));
}

class QuietHost : public testing_support::RecordingHost {};

TEST(Deletion, quiet_delete_removes_a_read_only_file_and_yields_once) {
  TempDir dir;
  const std::string file = dir.file("ro.docx");
  testing_support::WriteFile(file, "x");
  fs::permissions(file, fs::perms::owner_read);
  QuietHost host;
  DeleteFileQuietly(file, host);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(host.yields, 1);
  EXPECT_TRUE(host.reports.empty());
}

TEST(Deletion, quiet_delete_of_a_missing_file_or_a_folder_does_nothing) {
  TempDir dir;
  QuietHost host;
  DeleteFileQuietly(dir.file("missing.docx"), host);
  DeleteFileQuietly(dir.str(), host);
  EXPECT_TRUE(fs::is_directory(dir.path()));
  EXPECT_TRUE(host.reports.empty());
}

TEST(Deletion, forced_delete_fails_loudly_for_a_missing_file) {
  TempDir dir;
  EXPECT_THROW(DeleteFileForced(dir.file("missing.docx")), std::system_error);
}

}  // namespace
