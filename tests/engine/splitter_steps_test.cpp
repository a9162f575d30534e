// The splitter's order of calls, its numbering and its handling of failures,
// against a scripted word processor.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/engine.h"
#include "scripted_word.h"
#include "support/file_identity.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"
#include "testing.h"

using testing_support::RecordingHost;

namespace {

RecordingHost ChosenFolderHost(const std::string& folder) {
  RecordingHost host;
  host.settings.SaveToChosenFolder = true;
  host.settings.SaveToSourceFolder = false;
  host.settings.OutputFolder = folder;
  return host;
}

// An absolute path of this platform, spelled the POSIX way: "/in/a.docx" is
// "C:\in\a.docx" on Windows and "//server/share" is "\\server\share".
std::string Abs(std::string posix) {
  if (support::kSep == '/') return posix;
  for (auto& c : posix)
    if (c == '/') c = support::kSep;
  if (posix.size() >= 2 && posix[0] == support::kSep && posix[1] != support::kSep)
    posix.insert(0, "C:");
  return posix;
}

// Calls of the log with their path made this platform's (see Abs).
std::vector<std::string> AbsCalls(std::vector<std::string> calls) {
  for (auto& call : calls) {
    const auto space = call.find(' ');
    if (space != std::string::npos && call.compare(space + 1, 1, "/") == 0)
      call = call.substr(0, space + 1) + Abs(call.substr(space + 1));
  }
  return calls;
}

scripted::Script Sections(std::vector<std::string> texts) {
  scripted::Script s;
  s.sectionTexts = std::move(texts);
  return s;
}

TEST(SplitterCalls, one_section_follows_the_word_order_of_calls) {
  scripted::Factory word(Sections({"Dear Ann\r\f"}));
  RecordingHost host = ChosenFolderHost(Abs("/out"));
  engine::DoItByFile(Abs("/in/Letters.docx"), host, word);
  const std::vector<std::string> expected = {"Create",
                                             "Open /in/Letters.docx",
                                             "Sections.Count",
                                             "Sections 1",
                                             "Section1.Text",
                                             "Add",
                                             "Sections 1",
                                             "Section1.Copy",
                                             "Version",
                                             "PasteAndFormat 16",
                                             "Find.ClearFormatting",
                                             "Replacement.ClearFormatting",
                                             "Find.Text [^b]",
                                             "Find.Text []",
                                             "Replacement.Text []",
                                             "Find.Forward true",
                                             "Find.Wrap 1",
                                             "Find.Execute 2",
                                             "Sections.Last",
                                             "LastSection.Select",
                                             "Selection.Range",
                                             "Selection.Text",
                                             "Characters.Count",
                                             "Collapse 0",
                                             "Selection.Delete",
                                             "Collapse 0",
                                             "Paragraphs.Count",
                                             "Paragraph1.Text",
                                             "Paragraph1.Text",
                                             "SaveAs /out/Letters-0001.docx",
                                             "Split.Close",
                                             "Source.Close 0",
                                             "Quit"};
  EXPECT_EQ(word.log.calls, AbsCalls(expected));
  EXPECT_TRUE(host.reports.empty());
  EXPECT_EQ(host.progressValues, std::vector<double>{100.0});
  EXPECT_EQ(host.progressTexts, std::vector<std::string>{"Creating: Letters-0001.docx"});
  EXPECT_EQ(host.pointer, support::kPointerHourglass);
}

TEST(SplitterCalls, the_bar_moves_by_sections_and_one_character_sections_leave_a_gap) {
  scripted::Factory word(Sections({"A\r\f", "\f", "C\r"}));
  RecordingHost host = ChosenFolderHost(Abs("/out"));
  engine::DoItByFile(Abs("/in/Letters.docx"), host, word);
  EXPECT_EQ(host.progressValues, (std::vector<double>{50.0, 75.0, 100.0}));
  EXPECT_EQ(word.log.With("SaveAs "), (std::vector<std::string>{Abs("/out/Letters-0001.docx"),
                                                                Abs("/out/Letters-0003.docx")}));
  EXPECT_EQ(host.yields, 3);
}

TEST(SplitterCalls, an_old_version_pastes_plainly_and_a_failed_version_read_keeps_formatting) {
  scripted::Factory old(Sections({"A\r"}));
  old.script().version = "10.0";
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, old);
  EXPECT_TRUE(old.log.Has("Paste"));
  EXPECT_FALSE(old.log.Has("PasteAndFormat 16"));

  scripted::Factory failing(Sections({"A\r"}));
  failing.script().failing = {"Version"};
  RecordingHost host2 = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host2, failing);
  EXPECT_TRUE(failing.log.Has("PasteAndFormat 16"));
  EXPECT_EQ(host2.ReportedLines(), std::vector<int>{122});
}

TEST(SplitterFailures, no_instance_reports_each_step_that_needs_it_and_attempts_no_section) {
  scripted::Script script = Sections({"A\r"});
  script.failCreate = true;
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(host.ReportedLines(), (std::vector<int>{100, 102, 104, 192, 194}));
  for (const auto& r : host.reportDetails) EXPECT_EQ(r.location, loc::kDoItByFile);
  EXPECT_EQ(host.reportDetails[0].description, "ActiveX component can't create object");
  EXPECT_TRUE(host.progressValues.empty());
}

TEST(SplitterFailures, a_failed_save_is_reported_and_the_piece_still_closed) {
  scripted::Script script = Sections({"A\r\f", "B\r"});
  script.failing = {"SaveAs"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(host.ReportedLines(), (std::vector<int>{182, 182}));
  EXPECT_EQ(word.log.Count("Split.Close"), 2);
  EXPECT_EQ(host.reportDetails[0].description, "SaveAs was refused");
}

TEST(SplitterFailures, a_failed_text_read_makes_the_split_anyway) {
  scripted::Script script = Sections({"\f"});
  script.failing = {"Section1.Text"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(host.ReportedLines(), std::vector<int>{116});
  EXPECT_EQ(word.log.With("SaveAs ").size(), 1u);
}

// Built on a second thread, the pieces give the same reports, progress and
// calls in the same order as on one thread, whichever step fails.
TEST(SplitterFailures, building_ahead_reports_every_failure_in_its_turn) {
  const std::vector<std::set<std::string>> failures = {{},
                                                       {"Section2.Text"},
                                                       {"Add"},
                                                       {"Section1.Copy"},
                                                       {"Find.Execute"},
                                                       {"MoveEnd"},
                                                       {"SaveAs"},
                                                       {"Paragraph1.Text", "Split.Close"}};
  for (const auto& failing : failures) {
    RecordingHost hosts[2] = {ChosenFolderHost("/out"), ChosenFolderHost("/out")};
    std::vector<std::string> calls[2];
    for (int ahead = 0; ahead < 2; ++ahead) {
      scripted::Script script = Sections({"A\r\f", "B\r\f", "\f", "C\r"});
      script.selectionTexts = {"x\r\r", "x\r", "x"};
      script.failing = failing;
      script.twoThreads = ahead == 1;
      scripted::Factory word(script);
      engine::DoItByFile("/in/a.docx", hosts[ahead], word);
      calls[ahead] = word.log.calls;
      std::sort(calls[ahead].begin(), calls[ahead].end());
    }
    const std::string which = failing.empty() ? "nothing" : *failing.begin();
    EXPECT_EQ(hosts[1].reports, hosts[0].reports) << which;
    EXPECT_EQ(hosts[1].ReportedLines(), hosts[0].ReportedLines()) << which;
    EXPECT_EQ(hosts[1].progressTexts, hosts[0].progressTexts) << which;
    EXPECT_EQ(hosts[1].progressValues, hosts[0].progressValues) << which;
    EXPECT_EQ(hosts[1].yields, hosts[0].yields) << which;
    // The same calls, though the two threads' calls interleave.
    EXPECT_EQ(calls[1], calls[0]) << which;
  }
}

TEST(SplitterTrim, three_characters_ending_in_two_returns_shrink_twice) {
  scripted::Script script = Sections({"A\r"});
  script.selectionTexts = {"x\r\r", "x\r", "x"};
  script.selectionCharacters = 1;
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(word.log.Count("MoveEnd 1,-1"), 2);
  EXPECT_EQ(host.yields, 1 + 2);
}

TEST(SplitterTrim, a_single_character_selection_collapses_deletes_and_collapses) {
  scripted::Script script = Sections({"A\r"});
  script.selectionTexts = {"\r"};
  script.selectionCharacters = 1;
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(word.log.Count("MoveEnd 1,-1"), 0);
  EXPECT_EQ(word.log.Count("Collapse 0"), 2);
  EXPECT_EQ(word.log.Count("Selection.Delete"), 1);
}

TEST(SplitterTrim, a_longer_selection_is_only_collapsed) {
  scripted::Script script = Sections({"A\r"});
  script.selectionTexts = {"Sincerely"};
  script.selectionCharacters = 9;
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(word.log.Count("Collapse 0"), 1);
  EXPECT_EQ(word.log.Count("Selection.Delete"), 0);
}

TEST(SplitterTrim, a_trim_test_that_keeps_failing_ends) {
  scripted::Script script = Sections({"A\r"});
  script.failing = {"Selection.Text"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_EQ(word.log.Count("MoveEnd 1,-1"), support::kMaxLoopPasses);
  EXPECT_EQ(word.log.With("SaveAs ").size(), 1u);
}

TEST(SplitterPageBreak, a_break_paragraph_after_empty_ones_goes_and_they_stay) {
  scripted::Script script = Sections({"A\r"});
  script.splitParagraphs = {"Text\r", "\f", "\r", "\r"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_TRUE(word.log.Has("Paragraph2.Delete"));
  EXPECT_EQ(word.log.Count("Paragraph4.Text"), 2);
  EXPECT_FALSE(word.log.Has("Paragraph1.Text"));
  EXPECT_FALSE(word.log.Has("Paragraph3.Delete"));
}

TEST(SplitterPageBreak, a_paragraph_with_text_ends_the_walk) {
  scripted::Script script = Sections({"A\r"});
  script.splitParagraphs = {"\f", "Closing words\r", "\r"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_FALSE(word.log.Has("Paragraph1.Delete"));
  EXPECT_FALSE(word.log.Has("Paragraph2.Delete"));
}

TEST(SplitterPageBreak, text_after_a_leading_break_is_never_deleted) {
  scripted::Script script = Sections({"A\r"});
  script.splitParagraphs = {"Body\r", "\fP.S. See you soon\r", "\r"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_FALSE(word.log.Has("Paragraph2.Delete"));
}

TEST(SplitterPageBreak, a_failed_break_test_deletes_and_ends_the_walk) {
  scripted::Script script = Sections({"A\r"});
  script.splitParagraphs = {"Body\r", "\r"};
  script.failing = {"Paragraph2.Text"};
  scripted::Factory word(script);
  RecordingHost host = ChosenFolderHost("/out");
  engine::DoItByFile("/in/a.docx", host, word);
  EXPECT_TRUE(word.log.Has("Paragraph2.Delete"));
  EXPECT_FALSE(word.log.Has("Paragraph1.Text"));
  EXPECT_EQ(host.ReportedLines(), std::vector<int>{166});
}

TEST(SplitterPaths, a_trailing_separator_gives_a_single_one_and_network_paths_keep_their_pair) {
  scripted::Factory word(Sections({"A\r"}));
  RecordingHost host = ChosenFolderHost(Abs("/out/"));
  engine::DoItByFile(Abs("/in/Letters.docx"), host, word);
  RecordingHost beside;
  beside.settings.SaveToChosenFolder = false;
  beside.settings.SaveToSourceFolder = true;
  engine::DoItByFile(Abs("//server/share/in.docx"), beside, word);
  RecordingHost nowhere;
  nowhere.settings.SaveToChosenFolder = false;
  nowhere.settings.SaveToSourceFolder = false;
  engine::DoItByFile(Abs("/in/x.docx"), nowhere, word);
  // A bare file name lies in the current folder, and so do its pieces: never
  // in the root.
  engine::DoItByFile("Bare.docx", beside, word);
  engine::DoItByFile(Abs("/in/.parvane-work-1/Dear.docx"), beside, word, nullptr, "");
  engine::DoItByFile(Abs("/Root.docx"), beside, word);
  // An emptied folder text names no folder: reported, written nowhere.
  RecordingHost emptied = ChosenFolderHost("");
  engine::DoItByFile(Abs("/in/y.docx"), emptied, word);
  EXPECT_EQ(
      word.log.With("SaveAs "),
      (std::vector<std::string>{Abs("/out/Letters-0001.docx"), Abs("//server/share/in-0001.docx"),
                                "Bare-0001.docx", "Dear-0001.docx", Abs("/Root-0001.docx")}));
  EXPECT_EQ(emptied.ReportedLines(), std::vector<int>{182});
}

TEST(SplitterPaths, a_given_source_folder_stands_for_the_working_copys_own) {
  scripted::Factory word(Sections({"A\r"}));
  RecordingHost beside;
  beside.settings.SaveToChosenFolder = false;
  beside.settings.SaveToSourceFolder = true;
  engine::DoItByFile(Abs("/in/.parvane-work-1/Dear Ann.docx"), beside, word, nullptr, Abs("/in/"));
  EXPECT_EQ(word.log.With("SaveAs "), std::vector<std::string>{Abs("/in/Dear Ann-0001.docx")});
}

// The second input's pieces are numbered apart when they, or the PDFs beside
// them, would take the first one's names (spelled alike where the system's
// names ignore letter case).
TEST(SplitterPaths, two_inputs_of_one_name_never_overwrite_each_others_pieces_in_a_run) {
  const bool folded = support::FileNamesIgnoreCase();
  const struct {
    const char* second;
    bool pdf;
    std::vector<const char*> saved;  // the second input's pieces
  } cases[] = {
      {"/b/Letters.docx", false, {"/out/Letters-0001 (2).docx", "/out/Letters-0002 (2).docx"}},
      {"/b/Letters.dotx", false, {"/out/Letters-0001.dotx", "/out/Letters-0002.dotx"}},
      {"/b/Letters.dotx", true, {"/out/Letters-0001 (2).dotx", "/out/Letters-0002 (2).dotx"}},
      {"/b/LETTERS.dotx",
       true,
       {folded ? "/out/LETTERS-0001 (2).dotx" : "/out/LETTERS-0001.dotx",
        folded ? "/out/LETTERS-0002 (2).dotx" : "/out/LETTERS-0002.dotx"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.second) + (c.pdf ? " with PDFs" : ""));
    scripted::Factory word(Sections({"A\r\f", "B\r"}));
    RecordingHost host = ChosenFolderHost(Abs("/out"));
    host.settings.SavePdf = c.pdf;
    engine::RunLedger ledger;
    engine::DoItByFile(Abs("/a/Letters.docx"), host, word, &ledger);
    engine::DoItByFile(Abs(c.second), host, word, &ledger);
    std::vector<std::string> expected{Abs("/out/Letters-0001.docx"), Abs("/out/Letters-0002.docx")};
    for (const char* saved : c.saved) expected.push_back(Abs(saved));
    EXPECT_EQ(word.log.With("SaveAs "), expected);
  }
}

TEST(SplitterPaths, a_piece_never_replaces_an_input_of_the_run) {
  testing_support::TempDir dir;
  const std::string other = dir.file("Letters-0001.docx");
  testing_support::WriteFile(other, "an input of its own");
  scripted::Factory word(Sections({"A\r"}));
  RecordingHost host = ChosenFolderHost(dir.str());
  engine::RunLedger ledger;
  ledger.Protect(other);
  engine::DoItByFile(dir.file("Letters.docx"), host, word, &ledger);
  EXPECT_EQ(word.log.With("SaveAs "), std::vector<std::string>{dir.file("Letters-0001 (2).docx")});
}

// Per-piece naming reads the piece document, after it is made and before it
// is saved; a failure there is reported as the naming's and the piece is still
// saved, under its sequential name.
TEST(SplitterPieceNaming, the_rule_reads_the_piece_and_a_failure_keeps_the_sequential_name) {
  struct {
    std::set<std::string> failing;
    const char* saved;
    std::vector<int> reported;
  } cases[] = {{{}, "/out/ACME-0001.docx", {}},
               {{"Section1.Headers"}, "/out/Letters-0001.docx", {164}}};
  for (const auto& c : cases) {
    scripted::Script script = Sections({"A\r"});
    script.headerText = "ACME Ltd\r";
    script.failing = c.failing;
    scripted::Factory word(script);
    RecordingHost host = ChosenFolderHost(Abs("/out"));
    host.settings.ContentRule = 1;
    const engine::PieceNaming naming{1, 0};
    engine::DoItByFile(Abs("/in/Letters.docx"), host, word, nullptr, std::nullopt, &naming);
    EXPECT_EQ(word.log.With("SaveAs "), std::vector<std::string>{Abs(c.saved)});
    EXPECT_EQ(host.ReportedLines(), c.reported);
    for (const auto& d : host.reportDetails) EXPECT_EQ(d.location, loc::kRenameFile);
    // The header is read once the piece is made and before it is saved.
    const auto& calls = word.log.calls;
    const auto header = std::find(calls.begin(), calls.end(), "Section1.Headers 1");
    ASSERT_NE(header, calls.end());
    EXPECT_LT(std::find(calls.begin(), calls.end(), "Add"), header);
    EXPECT_GT(std::find(calls.begin(), calls.end(), "SaveAs " + std::string(c.saved)), header);
  }
}

TEST(SplitNames, numbering_and_extensions_follow_the_input_name) {
  EXPECT_EQ(engine::BuildSplitName("Letters.docx", 12345), "Letters-12345.docx");
  EXPECT_EQ(engine::BuildSplitName("Report.final.docx", 1), "Report.final-0001.docx");
  EXPECT_EQ(engine::BuildSplitName("Letters", 1), "Letters-0001.Letters");
  EXPECT_EQ(engine::BuildSplitName("Letters.DOCX", 7), "Letters-0007.DOCX");
  const std::string folder = std::string("in") + support::kSep;
  EXPECT_EQ(engine::BuildSplitName(folder + "a.docx", 2), folder + "a-0002.docx");
}

}  // namespace
