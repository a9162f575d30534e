// The folder scan: wildcard matching, listing one folder, and collecting the
// sub-folders breadth first, with links, odd names and unreadable folders.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "file_list_fixture.h"
#include "support/file_attributes.h"
#include "support/folder_scan.h"
#include "support/locations.h"

namespace filelist_test {
namespace {

using support::GetSubDirectories2016;
using support::ListFolderFiles;
using support::WildcardMatch;

const std::string kS(1, support::kSep);

TEST(WildcardMatchTest, MatchesLikeWindowsIgnoringLetterCase) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"letter.doc", "*.do*", true},
      {"LETTER.DOCX", "*.do*", true},
      {"Letter.Dot", "*.do*", true},
      {"letter.do", "*.do*", true},
      {"letter.odt", "*.do*", false},
      {"letterdoc", "*.do*", false},
      {"a.b.docx", "*.do*", true},
      {"notes.txt", "*.txt", true},
      {"notes.txt.bak", "*.txt", false},
      {"README", "*.*", true},
      {"a.b", "*.*", true},
      {"", "*.*", true},
      {"README", "*.doc", false},
      {"abc", "abc.*", true},
      {"abd", "a?c", false},
      {"abc", "a?c", true},
      {"ÄRGER.DOC", "ärger.doc", true},
      {"ñandú.docx", "*Ú.DO*", true},
      {"ŁÓDŹ ŻÓŁW.doc", "łódź*.DOC", true},
      {"ΕΠΙΣΤΟΛΉ.docx", "επιστολή.*", true},
      {"ПИСЬМО Ёлке.docx", "письмо ёлке.docx", true},
      {"ПИСЬМО.docx", "писмо.docx", false},
      {"\xFF\xFE.doc", "*.DOC", true},  // not UTF-8: still matched by its extension
      {"x", "*", true},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*c", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
  }
}

TEST(NameRulesTest, OnlyControlCharactersAndBrokenTextAreUnsupported) {
  EXPECT_FALSE(support::HasUnsupportedChars("Rechnungen 2021"));
  EXPECT_FALSE(support::HasUnsupportedChars("نامه‌ها"));  // outside any legacy code page
  EXPECT_FALSE(support::HasUnsupportedChars("what?"));
  EXPECT_FALSE(support::HasUnsupportedChars("\xF0\x9F\x93\x81 folder"));  // 4-byte character
  EXPECT_TRUE(support::HasUnsupportedChars("tab\there"));
  EXPECT_TRUE(support::HasUnsupportedChars("del\x7F"));
  EXPECT_TRUE(support::HasUnsupportedChars("c1\xC2\x85"));    // U+0085, a C1 control
  EXPECT_TRUE(support::HasUnsupportedChars("latin1\xE9"));    // not UTF-8
  EXPECT_TRUE(support::HasUnsupportedChars("cut\xE2\x82"));   // truncated sequence
  EXPECT_TRUE(support::HasUnsupportedChars("\xC0\xAF"));      // overlong "/"
  EXPECT_TRUE(support::HasUnsupportedChars("\xED\xA0\x80"));  // a lone surrogate
  EXPECT_FALSE(support::IsLockFileName("~$letter.doc"));
  EXPECT_TRUE(support::IsLockFileName(".~lock.letter.docx#"));
  EXPECT_FALSE(support::IsLockFileName(".~lock.letter.docx"));
}

class FolderScanTest : public FileListTest {
 protected:
  std::vector<std::string> Scan(const std::string& folder, bool recurse = true) {
    std::vector<std::string> folders{folder + kS};
    GetSubDirectories2016(folders, recurse, host);
    return folders;
  }
};

TEST_F(FolderScanTest, ListsFilesByPatternWithHiddenOnesButNoFolders) {
  Touch("a.doc");
  Touch("B.DOCX");
  Touch("notes.txt");
  Touch(".hidden.doc");  // a leading dot stands for hidden: listed all the same
  Mkdir("folder.doc");
  auto names = ListFolderFiles(Root(), "*.do*");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.doc", "B.DOCX", "a.doc"}));
  auto all = ListFolderFiles(Root() + kS, "*.*");
  EXPECT_EQ(all.size(), 4u);
  // The platform's order, not a sorted one.
  std::vector<std::string> expected;
  for (const auto& n : ListingOrder(dir.path(), false)) expected.push_back(n);
  EXPECT_EQ(all, expected);
  EXPECT_TRUE(ListFolderFiles(P("missing"), "*.*").empty());
  EXPECT_TRUE(ListFolderFiles(Mkdir("empty"), "*.*").empty());
}

TEST_F(FolderScanTest, LinksAndSpecialFilesAreListedOnlyWhenTheyLeadToFiles) {
  Touch("real.doc");
  fs::create_symlink(dir.path() / "real.doc", dir.path() / "link.doc");
  fs::create_symlink(dir.path() / "gone.doc", dir.path() / "broken.doc");
  ASSERT_EQ(::mkfifo(P("pipe.doc").c_str(), 0600), 0);
  auto names = ListFolderFiles(Root(), "*.doc");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"link.doc", "real.doc"}));
  EXPECT_FALSE(support::fsys::IsExistingFile(P("broken.doc")));
  EXPECT_FALSE(support::fsys::IsExistingFile(Root()));
  EXPECT_FALSE(support::fsys::IsExistingFile(""));
}

TEST_F(FolderScanTest, CollectsSubFoldersBreadthFirstInTheListingOrder) {
  Mkdir("A/A1/A1a");
  Mkdir("A/A2");
  Mkdir("B/B1");
  Mkdir("C");
  const auto folders = Scan(Root());

  std::vector<std::string> expected{Root() + kS};
  std::vector<std::string> level{Root() + kS};
  while (!level.empty()) {
    std::vector<std::string> next;
    for (const auto& f : level)
      for (const auto& n : ListingOrder(support::ToFsPath(f), true)) next.push_back(f + n + kS);
    expected.insert(expected.end(), next.begin(), next.end());
    level = next;
  }
  EXPECT_EQ(folders, expected);
  EXPECT_EQ(folders.size(), 8u);
  EXPECT_EQ(folders.back(), P("A/A1/A1a") + kS);
  EXPECT_TRUE(host.reports.empty());
  // A yield at every folder and every sub-folder.
  EXPECT_GE(host.yields, 14);
}

TEST_F(FolderScanTest, WithoutRecursionOnlyOneLevelIsAdded) {
  Mkdir("A/A1");
  Mkdir("B");
  auto folders = Scan(Root(), false);
  std::sort(folders.begin() + 1, folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{Root() + kS, P("A") + kS, P("B") + kS}));
}

TEST_F(FolderScanTest, HiddenFoldersAreEnteredAndHaveNoSystemBitHere) {
  Mkdir(".config/deep");
  EXPECT_EQ(support::fsys::Attributes(P(".config")),
            support::fsys::kAttrFolder | support::fsys::kAttrHidden);
  EXPECT_EQ(support::fsys::Attributes(Touch(".h.doc")), support::fsys::kAttrHidden);
  EXPECT_EQ(Scan(Root()).size(), 3u);
}

TEST_F(FolderScanTest, UnicodeFoldersAreScannedAndControlOrBrokenNamesAreNot) {
  Mkdir("نامه‌ها/inner");
  Mkdir("Ärger?");  // "?" is an ordinary character on this platform
  Mkdir("bad\x01name/below");
  Mkdir("latin1\xE9");
  auto folders = Scan(Root());
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders,
            (std::vector<std::string>{Root() + kS, P("Ärger?") + kS, P("نامه‌ها") + kS,
                                      P("نامه‌ها/inner") + kS}));
}

TEST_F(FolderScanTest, ALinkLoopIsFollowedNeverAndEachFolderTakenOnce) {
  Mkdir("A/A1");
  Mkdir("B");
  fs::create_directory_symlink(dir.path(), dir.path() / "A" / "A1" / "up");  // loop to the top
  fs::create_directory_symlink(dir.path() / "B", dir.path() / "A" / "toB");  // a sibling again
  fs::create_directory_symlink(dir.path() / "A", dir.path() / "A" / "self");
  fs::create_directory_symlink(dir.path() / "nowhere", dir.path() / "dangling");
  const auto folders = Scan(Root());
  EXPECT_EQ(folders.size(), 4u);  // the top, A, B, A1
  std::set<std::string> unique(folders.begin(), folders.end());
  EXPECT_EQ(unique.size(), folders.size());
  EXPECT_TRUE(unique.count(P("A/A1") + kS));
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(FolderScanTest, ALinkToAFolderNotYetTakenIsFollowed) {
  testing_support::TempDir elsewhere;
  fs::create_directories(elsewhere.path() / "inside");
  fs::create_directory_symlink(elsewhere.path(), dir.path() / "shared");
  const auto folders = Scan(Root());
  EXPECT_EQ(folders,
            (std::vector<std::string>{Root() + kS, P("shared") + kS, P("shared/inside") + kS}));
}

// Runs the scan as an unprivileged user: as root, permissions would not stop
// reading, so the scan then runs in a child process that gave up root.
std::vector<std::string> ScanWithoutPrivileges(const std::string& root, int* reports) {
  if (::geteuid() != 0) {
    testing_support::RecordingHost host;
    std::vector<std::string> folders{root + kS};
    GetSubDirectories2016(folders, true, host);
    *reports = static_cast<int>(host.reports.size());
    return folders;
  }
  const std::string text = testing_support::RunUnprivileged([&] {
    testing_support::RecordingHost host;
    std::vector<std::string> folders{root + kS};
    GetSubDirectories2016(folders, true, host);
    std::string out = std::to_string(host.reports.size()) + "\n";
    for (const auto& f : folders) out += f + "\n";
    return out;
  });
  std::vector<std::string> lines;
  for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos;
       start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (lines.empty()) return {"the unprivileged scan gave nothing"};
  *reports = std::stoi(lines.front());
  lines.erase(lines.begin());
  return lines;
}

TEST_F(FolderScanTest, AFolderThatCannotBeListedIsTakenOutAndTheScanGoesOn) {
  Mkdir("open/inner");
  Mkdir("locked/inside");
  // Everyone may pass through the test's folders, nobody into "locked".
  for (const auto& p : {dir.path(), dir.path() / "open", dir.path() / "open" / "inner"})
    fs::permissions(p, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                           fs::perms::group_read | fs::perms::group_exec);
  fs::permissions(dir.path() / "locked", fs::perms::none);
  int reports = -1;
  auto folders = ScanWithoutPrivileges(Root(), &reports);
  fs::permissions(dir.path() / "locked", fs::perms::owner_all);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{Root() + kS, P("open") + kS, P("open/inner") + kS}));
  EXPECT_EQ(reports, 0);
}

TEST_F(FolderScanTest, AMissingSeedIsNotListedAndNotReported) {
  std::vector<std::string> folders{P("gone") + kS, Mkdir("here") + kS};
  GetSubDirectories2016(folders, true, host);
  EXPECT_EQ(folders, (std::vector<std::string>{P("gone") + kS, P("here") + kS}));
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(FolderScanTest, AFailedYieldIsReportedAndTheScanGoesOn) {
  Mkdir("A");
  Mkdir("B");
  host.failYield = 1;
  const auto folders = Scan(Root());
  EXPECT_EQ(folders.size(), 3u);
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kGetSubDirectories);
  EXPECT_EQ(host.reportDetails[0].description, "The event loop refused to run.");
}

}  // namespace
}  // namespace filelist_test
