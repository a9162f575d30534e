// What the platform's paths make different for a split: names beyond ASCII,
// drive roots and backslashes, one file by two spellings, read-only files.
// The Windows-only cases skip elsewhere; the others hold on every platform.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "docx/document.h"
#include "docx_fixture.h"
#include "engine/engine.h"
#include "engine/factory.h"
#include "support/file_attributes.h"
#include "support/file_identity.h"
#include "support/paths.h"
#include "testing.h"

namespace fs = std::filesystem;
using support::FromFsPath;
using support::kSep;
using support::ToFsPath;
using testing_support::RecordingHost;
using testing_support::TempDir;

namespace {

// The folder's files by their UTF-8 names, sorted.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(ToFsPath(folder)))
    names.push_back(FromFsPath(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

std::string Text(const std::string& path) {
  auto doc = docx::Document::Open(path);
  return doc->Text(0, doc->StoryLength());
}

// Splits `input` into `folder` through the real engine; the reports made.
std::vector<std::string> SplitInto(const std::string& input, const std::string& folder) {
  RecordingHost host;
  host.settings.SaveToChosenFolder = true;
  host.settings.SaveToSourceFolder = false;
  host.settings.OutputFolder = folder;
  engine::BuiltinFactory factory;
  engine::DoItByFile(input, host, factory);
  return host.reports;
}

// "Bürо" ends in a Cyrillic "о" (U+043E), which no single ANSI code page
// shares with "ü": only UTF-16 names the folder on Windows.
TEST(PlatformPaths, a_merge_named_beyond_ascii_splits_into_pieces_named_alike) {
  TempDir dir;
  const std::string folder = FromFsPath(dir.path()) + kSep + "B\u00fcr\u043e";
  const std::string out = folder + kSep + "R\u00e9sultats";
  fs::create_directories(ToFsPath(out));
  const std::string input = folder + kSep + "Lettres \u00e0 Zo\u00eb.docx";
  fixture::Write(input, fixture::Merge({{"Ch\u00e8re Zo\u00eb"}, {"Cher No\u00e9"}}));
  const std::string before = testing_support::ReadFile(ToFsPath(input));

  EXPECT_TRUE(SplitInto(input, out).empty());
  EXPECT_EQ(Names(out), (std::vector<std::string>{"Lettres \u00e0 Zo\u00eb-0001.docx",
                                                  "Lettres \u00e0 Zo\u00eb-0002.docx"}));
  EXPECT_NE(Text(out + kSep + "Lettres \u00e0 Zo\u00eb-0002.docx").find("Cher No\u00e9"),
            std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(ToFsPath(input)), before);
}

// A folder given with a closing "\" or a doubled one, and a drive's root:
// each piece lands once, at "C:\name", never at "C:\\name".
TEST(PlatformPaths, drive_rooted_backslash_folders_take_the_pieces) {
#ifndef _WIN32
  GTEST_SKIP() << "drive letters and backslash folders are Windows paths";
#else
  TempDir dir;
  const std::string base = FromFsPath(fs::absolute(dir.path()).make_preferred());
  ASSERT_TRUE(base.size() > 3 && std::isalpha(static_cast<unsigned char>(base[0])) &&
              base.compare(1, 2, ":\\") == 0)
      << base;
  const std::string input = base + "\\merge.docx";
  fixture::Write(input, fixture::Merge({{"Dear Ann"}, {"Dear Bob"}}));
  fs::create_directory(ToFsPath(base + "\\out"));

  for (const std::string& folder : {base + "\\out\\", base + "\\\\out"}) {
    EXPECT_TRUE(SplitInto(input, folder).empty()) << folder;
    EXPECT_EQ(Names(base + "\\out"),
              (std::vector<std::string>{"merge-0001.docx", "merge-0002.docx"}))
        << folder;
  }

  // The root of the input's drive, with a name of this run alone.
  const std::string root = base.substr(0, 3);
  const std::string name = "parvane-root-" + FromFsPath(dir.path().filename());
  const std::string rooted = base + "\\" + name + ".docx";
  fs::copy_file(ToFsPath(input), ToFsPath(rooted));
  const std::vector<std::string> reports = SplitInto(rooted, root);
  const std::string first = root + name + "-0001.docx";
  const bool saved = fs::exists(ToFsPath(first));
  std::error_code ec;
  fs::remove(ToFsPath(first), ec);
  fs::remove(ToFsPath(root + name + "-0002.docx"), ec);
  EXPECT_TRUE(reports.empty()) << reports.front();
  EXPECT_TRUE(saved) << first;
#endif
}

// The run's ledger tells inputs from pieces by identity: a path spelled in
// other letter case or with a doubled "\" is the same file on Windows.
TEST(PlatformPaths, one_file_by_two_spellings_has_one_identity) {
#ifndef _WIN32
  GTEST_SKIP() << "letter case names two files on POSIX file systems";
#else
  TempDir dir;
  const std::string base = FromFsPath(fs::path(dir.path()).make_preferred());
  const std::string file = base + "\\Letter.docx";
  testing_support::WriteFile(ToFsPath(file), "x");
  std::string upper = file;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const auto id = support::IdentityOf(file);
  ASSERT_TRUE(id.has_value());
  for (const std::string& other : {upper, base + "\\\\Letter.docx", base + "\\.\\letter.DOCX"}) {
    EXPECT_EQ(support::IdentityOf(other), id) << other;
    EXPECT_TRUE(support::SameFile(file, other)) << other;
  }
  testing_support::WriteFile(ToFsPath(base + "\\Other.docx"), "x");
  EXPECT_NE(support::IdentityOf(base + "\\Other.docx"), id);
#endif
}

// A read-only file (the read-only attribute on Windows, no write bits on
// POSIX) goes with the forced delete.
TEST(PlatformPaths, the_forced_delete_removes_a_read_only_file) {
  TempDir dir;
  const std::string file = FromFsPath(dir.path()) + kSep + "r\u00e9sum\u00e9.docx";
  testing_support::WriteFile(ToFsPath(file), "x");
  fs::permissions(ToFsPath(file),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(support::fsys::Attributes(file) & support::fsys::kAttrReadOnly,
            support::fsys::kAttrReadOnly);
  support::DeleteFileForced(file);
  EXPECT_FALSE(fs::exists(ToFsPath(file)));
}

}  // namespace
