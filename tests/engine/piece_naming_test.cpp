// Every piece named from its own contents: real merges whose records differ in
// name, header, footer and page count, split by the real engine.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "docx/document.h"
#include "docx_fixture.h"
#include "engine/engine.h"
#include "samples/samplegen.h"
#include "support/paths.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::FilesIn;
using testing_support::RecordingHost;
using testing_support::TempDir;

namespace {

struct Letter {
  std::string header, footer;
  std::vector<std::string> pages;  // one paragraph per page
};

// Ann's letter has two pages, Bob's one, Cy's three; each section has a
// header and a footer of its own.
const std::vector<Letter> kLetters = {
    {"Northwind Traders", "Ann Lee account 1001", {"Dear Ann Lee,", "Terms for Ann apply."}},
    {"Contoso Ltd", "Bob Stone account 1002", {"Dear Bob Stone,"}},
    {"Fabrikam Inc",
     "Cy Young account 1003",
     {"Dear Cy Young,", "Middle page for Cy", "Last page for Cy Young"}},
};

fixture::Package OwnHeaders(const std::vector<Letter>& letters) {
  fixture::Package package;
  for (std::size_t r = 0; r < letters.size(); ++r) {
    const std::string n = std::to_string(r + 1);
    // A letter without a header of its own inherits the previous one's.
    const std::string refs = letters[r].header.empty()
                                 ? std::string()
                                 : R"(<w:headerReference w:type="default" r:id="rIdH)" + n +
                                       R"("/><w:footerReference w:type="default" r:id="rIdF)" + n +
                                       R"("/>)";
    for (std::size_t p = 0; p < letters[r].pages.size(); ++p) {
      if (p > 0) package.body += R"(<w:p><w:r><w:br w:type="page"/></w:r></w:p>)";
      package.body += fixture::P(letters[r].pages[p]);
    }
    if (r + 1 < letters.size())
      package.body += fixture::BreakP("", fixture::SectPr("nextPage", refs));
    else
      package.body += fixture::SectPr("nextPage", refs);
    if (letters[r].header.empty()) continue;
    package.documentRels.push_back({"rIdH" + n, fixture::kRelHeader, "header" + n + ".xml"});
    package.documentRels.push_back({"rIdF" + n, fixture::kRelFooter, "footer" + n + ".xml"});
    package.parts.push_back({"word/header" + n + ".xml", fixture::kCtHeader,
                             fixture::HeaderXml(fixture::P(letters[r].header))});
    package.parts.push_back({"word/footer" + n + ".xml", fixture::kCtFooter,
                             fixture::HeaderXml(fixture::P(letters[r].footer), true)});
  }
  return package;
}

std::string StoryOf(const fs::path& piece) {
  auto doc = docx::Document::Open(support::FromFsPath(piece));
  return doc->Text(0, doc->StoryLength());
}

struct Split {
  std::vector<std::string> pieces;  // file names in the output folder, sorted
  std::vector<std::string> reports;
};

// Splits `input` into `out` with every piece named by `rule`; the temporary
// folder must stay empty and the input's folder hold nothing new.
Split SplitEach(const std::string& input, const fs::path& out, int rule, int x, int y) {
  TempDir temp;
  setenv("TEMP", temp.str().c_str(), 1);
  RecordingHost host;
  host.settings.NameByContent = true;
  host.settings.EachSplit = true;
  host.settings.ContentRule = rule;
  host.settings.OutputFolder = out.string();
  const auto before = FilesIn(fs::path(input).parent_path());
  const engine::PieceNaming naming{x, y};
  engine::DoItByFile(input, host, word::DefaultFactory(), nullptr, std::nullopt, &naming);
  unsetenv("TEMP");
  EXPECT_TRUE(fs::is_empty(temp.path()));
  EXPECT_EQ(FilesIn(fs::path(input).parent_path()), before);
  return {FilesIn(out), host.reports};
}

struct RuleCase {
  int rule, x, y;
  std::vector<std::string> names;  // the piece of each letter, in letter order
};

class EachPiece : public ::testing::TestWithParam<RuleCase> {};

TEST_P(EachPiece, takes_its_name_from_its_own_record) {
  const RuleCase& c = GetParam();
  TempDir dir;
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, OwnHeaders(kLetters));
  const std::string bytes = testing_support::ReadFile(input);
  fs::create_directory(dir.path() / "out");
  const Split split = SplitEach(input, dir.path() / "out", c.rule, c.x, c.y);
  EXPECT_TRUE(split.reports.empty()) << split.reports.front();
  std::vector<std::string> expected = c.names;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(split.pieces, expected);
  // Each name sits on its own letter.
  for (std::size_t r = 0; r < c.names.size(); ++r) {
    const fs::path piece = dir.path() / "out" / support::ToFsPath(c.names[r]);
    if (fs::exists(piece)) {
      EXPECT_EQ(StoryOf(piece).find(kLetters[r].pages[0]), 0u) << piece;
    }
  }
  EXPECT_EQ(testing_support::ReadFile(input), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EachPiece,
    ::testing::Values(
        RuleCase{
            0,
            3,
            0,
            {"Dear Ann Lee,-0001.docx", "Dear Bob Stone,-0002.docx", "Dear Cy Young,-0003.docx"}},
        RuleCase{
            1,
            2,
            0,
            {"Northwind Traders-0001.docx", "Contoso Ltd-0002.docx", "Fabrikam Inc-0003.docx"}},
        RuleCase{2, 2, 0, {"Ann Lee-0001.docx", "Bob Stone-0002.docx", "Cy Young-0003.docx"}},
        // Bob's letter has no page 2: it keeps its sequential name.
        RuleCase{
            3, 3, 0, {"Terms for Ann-0001.docx", "merge-0002.docx", "Middle page for-0003.docx"}},
        RuleCase{
            4,
            3,
            0,
            {"Terms for Ann-0001.docx", "Dear Bob Stone,-0002.docx", "Last page for-0003.docx"}},
        RuleCase{
            5, 5, 3, {"merge-0001.docx", "merge-0002.docx", "Last page for Cy Young-0003.docx"}},
        // The words of a page run on to the end of the piece, never into the
        // next one; the page break between them counts as a word and is
        // cleaned into a blank, as when one name is taken for the input.
        RuleCase{3,
                 9,
                 0,
                 {"Terms for Ann apply.-0001.docx", "merge-0002.docx",
                  "Middle page for Cy   Last page for Cy-0003.docx"}}));

// A section that has no header or footer of its own shows the previous
// one's; its piece carries them and is named after them.
TEST(EachPiece, an_inherited_header_and_footer_name_the_piece) {
  TempDir dir;
  const std::string input = dir.file("merge.docx");
  fixture::Write(input, OwnHeaders({kLetters[0], {"", "", {"Dear Dee Park,"}}}));
  for (int rule : {1, 2}) {
    const fs::path out = dir.path() / ("out" + std::to_string(rule));
    fs::create_directory(out);
    const Split split = SplitEach(input, out, rule, 2, 0);
    EXPECT_TRUE(split.reports.empty());
    EXPECT_EQ(split.pieces,
              rule == 1 ? (std::vector<std::string>{"Northwind Traders-0001.docx",
                                                    "Northwind Traders-0002.docx"})
                        : (std::vector<std::string>{"Ann Lee-0001.docx", "Ann Lee-0002.docx"}));
  }
}

TEST(EachPiece, pieces_with_the_same_words_are_numbered_apart) {
  TempDir dir;
  const std::string input = dir.file("merge.docx");
  // Two letters to one recipient: their numbers tell them apart.
  fixture::Write(input, fixture::Merge({{"Dear Ann Lee,", "first order"},
                                        {"Dear Ann Lee,", "second order"},
                                        {"Dear Bob Stone,", "order"}}));
  fs::create_directory(dir.path() / "out");
  const Split split = SplitEach(input, dir.path() / "out", 0, 2, 0);
  EXPECT_TRUE(split.reports.empty());
  EXPECT_EQ(split.pieces, (std::vector<std::string>{"Dear Ann-0001.docx", "Dear Ann-0002.docx",
                                                    "Dear Bob-0003.docx"}));
  // Two documents of one run whose pieces take the same names: the second
  // document's pieces get " (2)" and nothing is overwritten.
  RecordingHost host;
  host.settings.ContentRule = 0;
  host.settings.OutputFolder = (dir.path() / "out").string();
  engine::RunLedger ledger;
  const engine::PieceNaming naming{2, 0};
  engine::DoItByFile(input, host, word::DefaultFactory(), &ledger, std::nullopt, &naming);
  engine::DoItByFile(input, host, word::DefaultFactory(), &ledger, std::nullopt, &naming);
  EXPECT_EQ(FilesIn(dir.path() / "out"),
            (std::vector<std::string>{"Dear Ann-0001 (2).docx", "Dear Ann-0001.docx",
                                      "Dear Ann-0002 (2).docx", "Dear Ann-0002.docx",
                                      "Dear Bob-0003 (2).docx", "Dear Bob-0003.docx"}));
}

// The shipped letters: every piece carries its own recipient's name, not the
// first record's. Forty words make names at the length limit, which must
// still be saved.
TEST(EachPiece, the_sample_letters_are_named_after_their_recipients) {
  namespace sg = samples;
  TempDir dir;
  constexpr int kRecords = 12;
  const std::string input = dir.file("Customer Letters.docx");
  sg::WriteMerge(input, sg::Kind::kLetters, kRecords);
  fs::create_directory(dir.path() / "out");
  const Split split = SplitEach(input, dir.path() / "out", 0, 40, 0);
  EXPECT_TRUE(split.reports.empty()) << split.reports.front();
  ASSERT_EQ(split.pieces.size(), static_cast<std::size_t>(kRecords));
  const auto records = sg::MakeRecords(kRecords, sg::Options{}.seed);
  std::map<std::string, int> named;
  for (const std::string& piece : split.pieces) {
    const std::string story = StoryOf(dir.path() / "out" / support::ToFsPath(piece));
    const int index = std::stoi(piece.substr(piece.size() - 9, 4));
    const auto& record = records[index - 1];
    EXPECT_NE(piece.find(record.FullName()), std::string::npos) << piece;
    EXPECT_NE(story.find(record.FullName()), std::string::npos) << piece;
    EXPECT_LE(piece.size(), 255u);
    ++named[record.FullName()];
  }
  EXPECT_GT(named.size(), 1u);
}

}  // namespace
