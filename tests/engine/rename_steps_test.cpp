// Content naming: the words taken, the cleaning, the working copy and the
// handling of failures, against a scripted word processor.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>

#include "engine/engine.h"
#include "scripted_word.h"
#include "support/locations.h"
#include "support/paths.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::RecordingHost;
using testing_support::TempDir;

namespace {

// An input document in a temporary folder, with TEMP pointing at another.
struct Room {
  TempDir folder;
  TempDir temp;
  std::string input;
  RecordingHost host;
  explicit Room(int rule, const std::string& name = "merge.docx") {
    input = folder.file(name);
    testing_support::WriteFile(input, "the input's bytes");
    setenv("TEMP", temp.str().c_str(), 1);
    host.settings.ContentRule = rule;
  }
  ~Room() { unsetenv("TEMP"); }
};

std::string Name(const std::string& path) {
  return support::GetFileName(path);
}

TEST(RenameWords, the_worked_example_gives_dear_mrs) {
  Room s(0);
  scripted::Script script;
  script.pageText = "Dear Mrs. Miller,\rThank you";
  scripted::Factory word(script);
  const std::string copy = engine::RenameFile(s.input, 2, 0, s.host, word);
  EXPECT_EQ(Name(copy), "Dear Mrs..docx");
  EXPECT_EQ(support::GetFolderPart(copy), s.folder.str() + support::kSep);
  EXPECT_EQ(testing_support::ReadFile(copy), "the input's bytes");
  EXPECT_TRUE(word.log.Has("GoTo 1,2,1"));
  EXPECT_TRUE(word.log.Has("EndKey 6,1"));
  EXPECT_TRUE(word.log.Has("DisplayAlerts false"));
  EXPECT_TRUE(word.log.Has("Quit"));
  EXPECT_TRUE(s.host.reports.empty());
  // The temporary copy is gone, the input untouched.
  EXPECT_FALSE(fs::exists(s.temp.file("word.docx")));
  EXPECT_EQ(testing_support::ReadFile(s.input), "the input's bytes");
}

struct WordsCase {
  const char* text;
  int x;
  const char* expected;  // the working copy's base name, "" for no result
};

class RenameTable : public ::testing::TestWithParam<WordsCase> {};

TEST_P(RenameTable, takes_the_first_words_and_cleans_them) {
  const auto& c = GetParam();
  Room s(0);
  scripted::Script script;
  script.pageText = c.text;
  scripted::Factory word(script);
  const std::string copy = engine::RenameFile(s.input, c.x, 0, s.host, word);
  if (std::string(c.expected).empty()) {
    EXPECT_EQ(copy, "");
  } else {
    EXPECT_EQ(Name(copy), std::string(c.expected) + ".docx");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenameTable,
    ::testing::Values(WordsCase{"Invoice  no. 42 due", 3, "Invoice no. 42"},
                      WordsCase{"Q3/Q4: Plan ahead", 2, "Q3 Q4  Plan"},
                      WordsCase{"One two", 5, "One two"},
                      WordsCase{"Hello\r\nWorld", 2, "Hello World"}, WordsCase{"//** ??", 2, ""},
                      WordsCase{"First second", 0, "First"}, WordsCase{"First second", -1, "First"},
                      WordsCase{"", 3, ""}, WordsCase{"Say \"hi\"\tnow", 2, "Say  hi  now"}));

// The words are taken one by one from the text: a header of tens of
// megabytes with X = 3 costs its first three words, not one string per word of
// it (which needs gigabytes for a large header and ended in a failed
// allocation). The child process gets a memory limit that such a split would
// run over.
TEST(RenameWords, a_huge_header_costs_only_the_words_taken) {
#ifdef _WIN32
  GTEST_SKIP() << "a child process with a memory limit is a POSIX fact";
#else
  Room s(1);
  scripted::Script script;
  script.headerText.reserve(64u << 20);
  script.headerText = "Northwind Traders Ltd";
  while (script.headerText.size() < (40u << 20)) script.headerText += " a";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (320u << 20);
    const rlimit cap{limit, limit};
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &cap) != 0) ::_exit(3);
    scripted::Factory word(script);
    const std::string copy = engine::RenameFile(s.input, 3, 0, s.host, word);
    ::_exit(Name(copy) == "Northwind Traders Ltd.docx" && s.host.reports.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(RenameWords, header_lines_run_together) {
  Room s(1);
  scripted::Script script;
  script.headerText = "ACME\rLtd\r";
  scripted::Factory word(script);
  EXPECT_EQ(Name(engine::RenameFile(s.input, 1, 0, s.host, word)), "ACMELtd.docx");
  EXPECT_TRUE(word.log.Has("Section1.Headers 1"));
}

TEST(RenameWords, the_footer_rule_reads_the_first_sections_footer) {
  Room s(2);
  scripted::Script script;
  script.footerText = "Quillory Ltd, Harbour Road\r";
  scripted::Factory word(script);
  EXPECT_EQ(Name(engine::RenameFile(s.input, 2, 0, s.host, word)), "Quillory Ltd,.docx");
}

TEST(RenameWords, each_page_rule_goes_to_its_page) {
  struct {
    int rule, y;
    const char* goTo;
  } cases[] = {
      {0, 0, "GoTo 1,2,1"}, {3, 0, "GoTo 1,2,2"}, {4, 0, "GoTo 1,2,7"}, {5, 3, "GoTo 1,2,3"}};
  for (const auto& c : cases) {
    Room s(c.rule);
    scripted::Script script;
    script.pageText = "Words here";
    script.pages = 7;
    scripted::Factory word(script);
    EXPECT_EQ(Name(engine::RenameFile(s.input, 1, c.y, s.host, word)), "Words.docx");
    EXPECT_TRUE(word.log.Has(c.goTo)) << c.rule;
  }
}

TEST(RenameWords, a_rule_outside_the_list_gives_no_name) {
  for (int rule : {-1, 6}) {
    Room s(rule);
    scripted::Script script;
    script.pageText = "Words";
    scripted::Factory word(script);
    EXPECT_EQ(engine::RenameFile(s.input, 1, 0, s.host, word), "");
    EXPECT_TRUE(s.host.reports.empty());
  }
}

TEST(RenameFailures, an_unopenable_document_reports_and_gives_no_name) {
  Room s(0);
  scripted::Script script;
  script.failing = {"Open"};
  script.pageText = "Words";
  scripted::Factory word(script);
  EXPECT_EQ(engine::RenameFile(s.input, 1, 0, s.host, word), "");
  ASSERT_FALSE(s.host.reports.empty());
  EXPECT_EQ(s.host.reportDetails[0].line, 122);
  EXPECT_EQ(s.host.reportDetails[0].location, loc::kRenameFile);
}

TEST(RenameFailures, no_instance_reports_each_text_step_and_gives_no_name) {
  Room s(0);
  scripted::Script script;
  script.failCreate = true;
  scripted::Factory word(script);
  EXPECT_EQ(engine::RenameFile(s.input, 1, 0, s.host, word), "");
  EXPECT_EQ(s.host.ReportedLines(), (std::vector<int>{120, 122, 124, 128, 130, 132, 322}));
}

TEST(RenameFailures, a_failed_copy_is_reported_and_the_path_still_returned) {
  Room s(0);
  scripted::Script script;
  script.pageText = "Words";
  scripted::Factory word(script);
  fs::remove(s.input);  // nothing to copy
  const std::string copy = engine::RenameFile(s.input, 1, 0, s.host, word);
  EXPECT_EQ(Name(copy), "Words.docx");
  EXPECT_FALSE(fs::exists(copy));
  const auto lines = s.host.ReportedLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), 118), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), 354), lines.end());
}

TEST(RenameWorkingCopy, a_name_equal_to_the_input_uses_the_input_itself) {
  Room s(0, "Words.docx");
  scripted::Script script;
  script.pageText = "Words";
  scripted::Factory word(script);
  const std::string copy = engine::RenameFile(s.input, 1, 0, s.host, word);
  EXPECT_EQ(copy, s.input);
  engine::DiscardWorkingCopy(copy, s.input, s.host);
  EXPECT_EQ(testing_support::ReadFile(s.input), "the input's bytes");
}

TEST(RenameWorkingCopy, an_existing_other_file_is_neither_replaced_nor_deleted) {
  Room s(0);
  const std::string existing = s.folder.file("Words.docx");
  testing_support::WriteFile(existing, "somebody's own document");
  scripted::Script script;
  script.pageText = "Words";
  scripted::Factory word(script);
  const std::string copy = engine::RenameFile(s.input, 1, 0, s.host, word);
  // The pieces keep the derived name: the copy has it, in a work folder.
  EXPECT_EQ(Name(copy), "Words.docx");
  EXPECT_NE(copy, existing);
  EXPECT_EQ(testing_support::ReadFile(copy), "the input's bytes");
  engine::DiscardWorkingCopy(copy, s.input, s.host);
  EXPECT_EQ(testing_support::ReadFile(existing), "somebody's own document");
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_FALSE(fs::exists(fs::path(copy).parent_path()));
  EXPECT_EQ(testing_support::FilesIn(s.folder.path()),
            (std::vector<std::string>{"Words.docx", "merge.docx"}));
}

TEST(RenameCleaning, long_names_are_cut_at_a_word_boundary) {
  std::string words;
  for (int i = 0; i < 80; ++i) words += "word" + std::to_string(i) + " ";
  const std::string name = engine::CleanDerivedName(words, 100);
  EXPECT_LE(name.size(), 100u);
  EXPECT_EQ(name.back() != ' ', true);
  EXPECT_EQ(words.substr(0, name.size()), name);
  EXPECT_EQ(words[name.size()], ' ');
  // A single long word is cut at a character boundary, never inside UTF-8.
  std::string umlauts;
  for (int i = 0; i < 100; ++i) umlauts += "\xC3\xA4";
  const std::string cut = engine::CleanDerivedName(umlauts, 51);
  EXPECT_EQ(cut.size(), 50u);
}

// Characters that show nothing make a name look like another one (a
// right-to-left override turns "Invoice-gpj.docx" into "Invoice-xcod.jpg" on
// screen) or hide it (a leading dot); they are removed. The characters file
// names refuse still become blanks.
TEST(RenameCleaning, invisible_characters_and_a_leading_dot_are_removed) {
  struct {
    const char* raw;
    const char* expected;
  } cases[] = {
      {"Ann\u202EfdP\u202C Lee", "AnnfdP Lee"},        // embeddings and overrides
      {"\u2066Ann\u2069 \u200ELee\u200F", "Ann Lee"},  // isolates and marks
      {"An\u200Bn\u200C \u200DLee\u2060", "Ann Lee"},  // zero-width characters
      {"\uFEFFAnn", "Ann"},                            // a byte order mark in front
      {"Mül\u00ADler", "Müller"},                      // the soft hyphen
      {".hidden name", "hidden name"},
      {". . .Ann", "Ann"},
      {"\u200B.Ann", "Ann"},  // a dot behind an invisible character
      {"...", ""},
      {"Ann.", "Ann."},                          // only a leading dot goes
      {"Ann: Lee/\u00E9", "Ann  Lee \u00E9"},    // refused characters stay blanks
      {"bad \xE2\x80 utf", "bad \xE2\x80 utf"},  // broken sequences are kept
  };
  for (const auto& c : cases) EXPECT_EQ(engine::CleanDerivedName(c.raw, 200), c.expected) << c.raw;
}

TEST(RenameCleaning, refused_characters_become_blanks) {
  EXPECT_EQ(engine::CleanDerivedName("a/b\\c*d:e?f<g>h|i", 200), "a b c d e f g h i");
  EXPECT_EQ(engine::CleanDerivedName("\"Quoted\"\x01x\x1f", 200), "Quoted  x");
  EXPECT_EQ(engine::CleanDerivedName("  line\r\nend  ", 200), "lineend");
}

}  // namespace
