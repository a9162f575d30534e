// Content naming on real documents, through our own word processor.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <vector>

#include "docx_fixture.h"
#include "engine/engine.h"
#include "support/paths.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::RecordingHost;
using testing_support::TempDir;

namespace {

// Three letters of two pages each: page breaks inside the records, next-page
// section breaks between them, a letterhead header and a footer of section 1.
fixture::Package Letters() {
  using fixture::P;
  fixture::Package package;
  const std::string refs =
      R"(<w:headerReference w:type="default" r:id="rIdH"/><w:footerReference w:type="default" r:id="rIdF"/>)";
  const char* names[] = {"Miller", "Novak", "Okafor"};
  for (int r = 0; r < 3; ++r) {
    const std::string name = names[r];
    package.body += P("Dear Mrs. " + name + ",");
    package.body += P("Thank you for your order.");
    package.body += R"(<w:p><w:r><w:br w:type="page"/></w:r></w:p>)";
    package.body += P("Terms for " + name + " apply.");
    if (r < 2)
      package.body += fixture::BreakP("", fixture::SectPr("nextPage", refs));
    else
      package.body += fixture::SectPr("nextPage", refs);
  }
  package.documentRels = {{"rIdH", fixture::kRelHeader, "header1.xml"},
                          {"rIdF", fixture::kRelFooter, "footer1.xml"}};
  package.parts = {
      {"word/header1.xml", fixture::kCtHeader, fixture::HeaderXml(P("ACME") + P("Ltd"))},
      {"word/footer1.xml", fixture::kCtFooter,
       fixture::HeaderXml(P("Harbour Road 7, Quay"), true)}};
  return package;
}

struct Case {
  int rule;
  int x;
  int y;
  const char* expected;
};

class RealRename : public ::testing::TestWithParam<Case> {};

TEST_P(RealRename, derives_the_name_from_the_rules_text) {
  const Case& c = GetParam();
  TempDir dir, temp;
  setenv("TEMP", temp.str().c_str(), 1);
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, Letters());
  const std::string before = testing_support::ReadFile(input);
  RecordingHost host;
  host.settings.ContentRule = c.rule;
  const std::string copy = engine::RenameFile(input, c.x, c.y, host);
  unsetenv("TEMP");
  EXPECT_TRUE(host.reports.empty()) << (host.reports.empty() ? "" : host.reports[0]);
  EXPECT_EQ(support::GetFileName(copy), std::string(c.expected) + ".docx");
  EXPECT_EQ(testing_support::ReadFile(input), before);
  EXPECT_EQ(testing_support::ReadFile(copy), before);
  engine::DiscardWorkingCopy(copy, input, host);
  EXPECT_EQ(testing_support::FilesIn(dir.path()), std::vector<std::string>{"merge.docx"});
  EXPECT_EQ(testing_support::FilesIn(temp.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RealRename,
    ::testing::Values(Case{0, 2, 0, "Dear Mrs."},  // first page
                      Case{0, 8, 0, "Dear Mrs. Miller, Thank you for your order."},
                      Case{1, 1, 0, "ACMELtd"},           // header lines run together
                      Case{2, 2, 0, "Harbour Road"},      // footer
                      Case{3, 3, 0, "Terms for Miller"},  // page 2
                      Case{4, 3, 0, "Terms for Okafor"},  // last page (6)
                      Case{5, 2, 3, "Dear Mrs."},         // page 3: the second letter
                      Case{5, 4, 4, "Terms for Novak apply."},
                      // Few words on the page: the next ones come from later pages.
                      Case{4, 5, 0, "Terms for Okafor apply."},
                      Case{3, 6, 0,
                           "Terms for Miller apply.  Dear Mrs."}));  // the break is a blank

TEST(RealRename, an_unopenable_document_reports_and_gives_no_name) {
  TempDir dir, temp;
  setenv("TEMP", temp.str().c_str(), 1);
  const std::string input = dir.file("broken.docx");
  testing_support::WriteFile(input, "this is not a package");
  std::vector<std::string> inputs = {input};
#ifndef _WIN32
  // Nothing will ever write to a pipe: it is not waited on.
  inputs.push_back(dir.file("pipe.docx"));
  ASSERT_EQ(::mkfifo(inputs.back().c_str(), 0600), 0);
#endif
  for (const auto& path : inputs) {
    SCOPED_TRACE(path);
    RecordingHost host;
    host.settings.ContentRule = 0;
    EXPECT_EQ(engine::RenameFile(path, 2, 0, host), "");
    EXPECT_TRUE(std::any_of(host.reportDetails.begin(), host.reportDetails.end(),
                            [](const auto& report) { return report.line == 122; }));
  }
  unsetenv("TEMP");
  EXPECT_EQ(testing_support::ReadFile(input), "this is not a package");
}

TEST(RealRename, splits_of_a_content_named_copy_carry_the_derived_name) {
  TempDir dir, temp;
  setenv("TEMP", temp.str().c_str(), 1);
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, Letters());
  RecordingHost host;
  host.settings.ContentRule = 0;
  host.settings.SaveToChosenFolder = false;
  host.settings.SaveToSourceFolder = true;
  const std::string copy = engine::RenameFile(input, 2, 0, host);
  engine::DoItByFile(copy, host, word::DefaultFactory(), nullptr, support::GetFolderPart(input));
  engine::DiscardWorkingCopy(copy, input, host);
  unsetenv("TEMP");
  EXPECT_TRUE(host.reports.empty()) << (host.reports.empty() ? "" : host.reports[0]);
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Dear Mrs.-0001.docx", "Dear Mrs.-0002.docx",
                                      "Dear Mrs.-0003.docx", "merge.docx"}));
}

// A link left at the temporary copy's place is never written through: the
// file it points to keeps its bytes, and the name still comes from the input.
TEST(RealRename, a_link_at_the_temporary_copys_place_is_not_written_through) {
#ifdef _WIN32
  GTEST_SKIP() << "making a symbolic link needs a privilege on Windows";
#endif
  TempDir dir, temp;
  setenv("TEMP", temp.str().c_str(), 1);
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, Letters());
  const std::string victim = dir.file("victim.txt");
  testing_support::WriteFile(victim, "keep me");
  fs::create_symlink(victim, temp.path() / "word.docx");
  RecordingHost host;
  host.settings.ContentRule = 0;
  const std::string copy = engine::RenameFile(input, 2, 0, host);
  unsetenv("TEMP");
  EXPECT_EQ(testing_support::ReadFile(victim), "keep me");
  EXPECT_EQ(support::GetFileName(copy), "Dear Mrs..docx");
  engine::DiscardWorkingCopy(copy, input, host);
}

// In a shared temporary folder another user's "word.docx" can be neither
// deleted nor replaced; the working copy, which the run splits, must not be
// made of that stranger's document. The run keeps its temporary copy in a
// folder of its own and never looks at the stranger's file.
TEST(RealRename, another_users_file_at_the_temporary_copys_place_is_never_read) {
#ifdef _WIN32
  GTEST_SKIP() << "another user's file in a sticky folder is a POSIX fact";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
#endif
  TempDir dir, temp;
  fs::permissions(temp.path(), fs::perms::all | fs::perms::sticky_bit);
  fs::permissions(dir.path(), fs::perms::all);
  fixture::Package stranger;
  stranger.body = fixture::P("Secret plans of someone else") + fixture::SectPr();
  fixture::Write((temp.path() / "word.docx").string(), stranger);
  const std::string strangersBytes = testing_support::ReadFile(temp.path() / "word.docx");
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, Letters());
  fs::permissions(input, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  const std::string text = testing_support::RunUnprivileged([&] {
    setenv("TEMP", temp.str().c_str(), 1);
    RecordingHost host;
    host.settings.ContentRule = 0;
    const std::string copy = engine::RenameFile(input, 2, 0, host);
    std::string out = "name=" + support::GetFileName(copy) + "\n";
    for (const auto& d : host.reportDetails) out += "line " + std::to_string(d.line) + "\n";
    return out;
  });
  EXPECT_EQ(text, "name=Dear Mrs..docx\n");
  EXPECT_EQ(testing_support::ReadFile(dir.path() / "Dear Mrs..docx"),
            testing_support::ReadFile(input));
  EXPECT_EQ(testing_support::ReadFile(temp.path() / "word.docx"), strangersBytes);
  EXPECT_EQ(testing_support::FilesIn(temp.path()), std::vector<std::string>{"word.docx"});
}

// An extension that takes the whole file name leaves no room for words: no
// derived name, and no working copy under a name the file system would refuse.
TEST(RealRename, an_extension_that_fills_the_name_leaves_no_room_for_words) {
  TempDir dir, temp;
  setenv("TEMP", temp.str().c_str(), 1);
  const std::string input = dir.file("m." + std::string(250, 'x'));
  fixture::Write(input, Letters());
  RecordingHost host;
  host.settings.ContentRule = 0;
  EXPECT_EQ(engine::RenameFile(input, 2, 0, host), "");
  unsetenv("TEMP");
  EXPECT_EQ(testing_support::FilesIn(dir.path()).size(), 1u);
}

// Looks into the temporary folder each time the engine yields, that is while
// the temporary copy exists (step 116 yields before its delete, 358 before
// the copy is deleted).
class WatchingHost : public RecordingHost {
 public:
  explicit WatchingHost(fs::path folder) : folder_(std::move(folder)) {}
  void Yield() override {
    RecordingHost::Yield();
    std::string seen;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
      seen += fs::relative(entry.path(), folder_).string();
      if (entry.is_directory())
        seen += (entry.status().permissions() & fs::perms::all) == fs::perms::owner_all
                    ? " (private)"
                    : " (open)";
      seen += ";";
    }
    seen_.push_back(seen);
  }
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  fs::path folder_;
  std::vector<std::string> seen_;
};

// The temporary copy lives in a folder of this call alone that only the user
// can enter, and the folder goes when the call ends: two runs at once, or
// anybody else using the temporary folder, can never swap the document the
// name and the pieces come from.
TEST(RealRename, the_temporary_copy_lives_in_a_private_folder_that_goes_with_the_call) {
#ifdef _WIN32
  GTEST_SKIP() << "the folder is private by its access list, which permission bits do not show";
#endif
  TempDir dir, temp;
  setenv("TEMP", temp.str().c_str(), 1);
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, Letters());
  WatchingHost host(temp.path());
  host.settings.ContentRule = 0;
  const std::string copy = engine::RenameFile(input, 2, 0, host);
  unsetenv("TEMP");
  EXPECT_TRUE(host.reports.empty()) << (host.reports.empty() ? "" : host.reports[0]);
  ASSERT_EQ(host.seen().size(), 2u);
  EXPECT_TRUE(std::regex_match(host.seen()[0], std::regex(R"(parvane-naming-\w+ \(private\);)")))
      << host.seen()[0];
  EXPECT_TRUE(std::regex_match(
      host.seen()[1],
      std::regex(R"(parvane-naming-\w+ \(private\);parvane-naming-\w+/word\.docx;)")))
      << host.seen()[1];
  EXPECT_TRUE(fs::is_empty(temp.path()));
  EXPECT_EQ(support::GetFileName(copy), "Dear Mrs..docx");
  engine::DiscardWorkingCopy(copy, input, host);
}

// Without TEMP (Linux sets none) the temporary copy goes to the system's
// temporary folder: TMPDIR here.
TEST(RealRename, without_temp_the_systems_temporary_folder_is_used) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows finds its temporary folder through TMP and TEMP, not TMPDIR";
#endif
  TempDir dir, system;
  unsetenv("TEMP");
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", system.str().c_str(), 1);
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, Letters());
  WatchingHost host(system.path());
  host.settings.ContentRule = 0;
  const std::string copy = engine::RenameFile(input, 2, 0, host);
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
  EXPECT_TRUE(host.reports.empty()) << (host.reports.empty() ? "" : host.reports[0]);
  ASSERT_EQ(host.seen().size(), 2u);
  EXPECT_NE(host.seen()[1].find("/word.docx;"), std::string::npos) << host.seen()[1];
  EXPECT_TRUE(fs::is_empty(system.path()));
  EXPECT_EQ(support::GetFileName(copy), "Dear Mrs..docx");
  EXPECT_EQ(testing_support::ReadFile(copy), testing_support::ReadFile(input));
  engine::DiscardWorkingCopy(copy, input, host);
}

}  // namespace
