// "Start Splitting" end to end: real documents through the real engine.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include <csignal>

#include "app/end_signals.h"
#include "app_fixture.h"
#include "docx_fixture.h"
#include "engine/builtin.h"
#include "engine/engine.h"
#include "filelist/file_list.h"
#include "support/error_report.h"
#include "support/locations.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using testing_support::FilesIn;
using testing_support::TempDir;
using Names = std::vector<std::string>;

const std::vector<std::vector<std::string>> kRecords = {
    {"Dear Mrs. Smith", "Your order 1001 has shipped."},
    {"Dear Mrs. Jones", "Your order 1002 has shipped."},
    {"Dear Mrs. Brown", "Your order 1003 has shipped."},
};

std::string MakeLetters(const fs::path& folder, const std::string& name,
                        const std::vector<std::vector<std::string>>& records = kRecords) {
  fs::create_directories(folder);
  const std::string path = (folder / name).string();
  fixture::Write(path, fixture::Merge(records));
  return path;
}

class BatchTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    in_ = work_.path() / "in";
    out_ = work_.path() / "out";
    fs::create_directories(in_);
    fs::create_directories(out_);
    LoadedForm();
    form_->Text1().setText(QString::fromStdString(out_.string() + "/"));
  }
  app::Form1& form() { return *form_; }
  void Add(const std::string& path) { form_->List().AddFileEntry(path); }
  void NameByContent(int rule) {
    form_->Option2().click();
    form_->Combo1().setCurrentIndex(rule);
  }
  Names Messages() const { return dialogs_.MessageTexts(); }
  // Every run ends in the same idle state.
  void ExpectIdle() {
    EXPECT_FALSE(form_->Busy());
    EXPECT_EQ(form_->Bar().value(), 0);
    EXPECT_EQ(form_->Bar().text(), QString("Progress Bar"));
    EXPECT_EQ(form_->GetPointer(), support::kPointerDefault);
  }

  TempDir work_;
  fs::path in_;
  fs::path out_;
};

TEST_F(BatchTest, sequential_names_go_into_the_chosen_folder) {
  Add(MakeLetters(in_, "Letters.docx"));
  form().PushButton2_Click();
  EXPECT_EQ(FilesIn(out_), (Names{"Letters-0001.docx", "Letters-0002.docx", "Letters-0003.docx"}));
  EXPECT_EQ(FilesIn(in_), (Names{"Letters.docx"}));
  EXPECT_EQ(Messages(), (Names{"Done."}));
  EXPECT_TRUE(dialogs_.Of("input").empty());
  ExpectIdle();
  ASSERT_FALSE(form_->texts.empty());
  EXPECT_EQ(form_->texts.front(), (std::pair<std::string, int>{"Processing: Letters.docx", 100}));
}

// The window's run takes a Word 97 file beside a .docx through LibreOffice,
// with a PDF of every piece when the box is checked.
TEST_F(BatchTest, a_word_97_file_beside_a_docx_gives_word_97_pieces_and_pdfs_of_all) {
  const fs::path sample = fs::path(testing_support::BinDir()) / "Sample Mail Merge Document.doc";
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  if (!fs::exists(sample) || testing_support::ReadFile(sample).substr(0, 4) != "\xD0\xCF\x11\xE0")
    GTEST_SKIP() << "the build made no Word 97 sample";
  fs::copy_file(sample, in_ / "Sample.doc");
  Add((in_ / "Sample.doc").string());
  Add(MakeLetters(in_, "Letters.docx"));
  form_->CheckPdf().click();
  form().PushButton2_Click();
  EXPECT_EQ(Messages(), (Names{"Done."}));
  const Names files = FilesIn(out_);
  for (const char* name :
       {"Sample-0001.doc", "Sample-0001.pdf", "Letters-0003.docx", "Letters-0003.pdf"})
    EXPECT_NE(std::find(files.begin(), files.end(), name), files.end()) << name;
  EXPECT_EQ(testing_support::ReadFile(out_ / "Sample-0001.doc").substr(0, 4), "\xD0\xCF\x11\xE0");
  std::vector<std::string> texts;
  for (const auto& [text, value] : form_->texts) texts.push_back(text);
  for (const char* shown :
       {"Converting: Sample.doc", "Creating: Sample-0001.doc", "Converting pieces: Sample.doc",
        "Converting pieces to PDF: Letters.docx"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), shown), texts.end()) << shown;
  EXPECT_EQ(FilesIn(in_), (Names{"Letters.docx", "Sample.doc"}));
  ExpectIdle();
}

TEST_F(BatchTest, sequential_names_beside_each_input_with_the_bar_at_each_file) {
  form().Option4().click();
  form().Text1().clear();
  Add(MakeLetters(in_ / "a", "North.docx"));
  Add(MakeLetters(in_ / "b", "South.docx", {{"One"}, {"Two"}}));
  Add(MakeLetters(in_ / "c", "West.docx", {{"Only"}}));
  form().PushButton2_Click();
  EXPECT_EQ(FilesIn(in_ / "a"),
            (Names{"North-0001.docx", "North-0002.docx", "North-0003.docx", "North.docx"}));
  EXPECT_EQ(FilesIn(in_ / "b"), (Names{"South-0001.docx", "South-0002.docx", "South.docx"}));
  EXPECT_EQ(FilesIn(in_ / "c"), (Names{"West-0001.docx", "West.docx"}));
  EXPECT_TRUE(FilesIn(out_).empty());
  std::vector<std::pair<std::string, int>> starts;
  for (const auto& t : form_->texts)
    if (t.first.rfind("Processing: ", 0) == 0) starts.push_back(t);
  EXPECT_EQ(starts, (std::vector<std::pair<std::string, int>>{{"Processing: North.docx", 33},
                                                              {"Processing: South.docx", 66},
                                                              {"Processing: West.docx", 100}}));
  EXPECT_EQ(Messages(), (Names{"Done."}));
  ExpectIdle();
}

TEST_F(BatchTest, content_names_come_from_the_first_words_and_the_working_copy_goes) {
  NameByContent(0);
  dialogs_.inputAnswers = {"2"};
  Add(MakeLetters(in_, "Letters.docx"));
  form().PushButton2_Click();
  EXPECT_EQ(FilesIn(out_),
            (Names{"Dear Mrs.-0001.docx", "Dear Mrs.-0002.docx", "Dear Mrs.-0003.docx"}));
  // Only the input is left in its folder: no working copy, no work folder.
  EXPECT_EQ(FilesIn(in_), (Names{"Letters.docx"}));
  const auto inputs = dialogs_.Of("input");
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].text, "Enter X");
  EXPECT_EQ(inputs[0].title, "Input X");
  EXPECT_EQ(inputs[0].defaultAnswer, "1");
  EXPECT_EQ(Messages(), (Names{"Done."}));
  ExpectIdle();
}

// With "Name each split from its own contents" every letter is named after
// its own recipient, with no working copy and nothing in the temporary folder.
TEST_F(BatchTest, each_split_is_named_from_its_own_words) {
  TempDir temp;
  setenv("TEMP", temp.str().c_str(), 1);
  NameByContent(0);
  form().EachSplit().click();
  dialogs_.inputAnswers = {"3"};
  Add(MakeLetters(in_, "Letters.docx"));
  Add(MakeLetters(in_ / "again", "Letters.docx", {{"Dear Mrs. Smith", "A second letter."}}));
  bool temporaryUsed = false;
  form_->onYield = [&] { temporaryUsed = temporaryUsed || !fs::is_empty(temp.path()); };
  form().PushButton2_Click();
  unsetenv("TEMP");
  EXPECT_EQ(FilesIn(out_), (Names{"Dear Mrs. Brown-0003.docx", "Dear Mrs. Jones-0002.docx",
                                  "Dear Mrs. Smith-0001 (2).docx", "Dear Mrs. Smith-0001.docx"}));
  EXPECT_EQ(FilesIn(in_), (Names{"Letters.docx"}));
  EXPECT_FALSE(temporaryUsed);
  EXPECT_EQ(dialogs_.Of("input").size(), 1u);
  EXPECT_EQ(Messages(), (Names{"Done."}));
  ExpectIdle();
}

TEST_F(BatchTest, the_x_prompt_repeats_until_the_answer_is_numeric_and_halves_go_to_even) {
  NameByContent(0);
  dialogs_.inputAnswers = {"abc", "", "2.5"};
  Add(MakeLetters(in_, "Letters.docx"));
  form().PushButton2_Click();
  EXPECT_EQ(dialogs_.Of("input").size(), 3u);
  EXPECT_EQ(Messages(), (Names{"Must be numeric.", "Must be numeric.", "Done."}));
  // 2.5 words are two words.
  EXPECT_EQ(FilesIn(out_),
            (Names{"Dear Mrs.-0001.docx", "Dear Mrs.-0002.docx", "Dear Mrs.-0003.docx"}));
}

TEST_F(BatchTest, three_and_a_half_words_are_four) {
  NameByContent(0);
  dialogs_.inputAnswers = {"3.5"};
  Add(MakeLetters(in_, "Letters.docx", {{"Dear Mrs. Smith of Leeds"}, {"Dear Mr. Jones"}}));
  form().PushButton2_Click();
  EXPECT_EQ(FilesIn(out_), (Names{"Dear Mrs. Smith of-0001.docx", "Dear Mrs. Smith of-0002.docx"}));
}

TEST_F(BatchTest, the_y_prompt_is_asked_only_for_the_page_rule) {
  NameByContent(5);
  dialogs_.inputAnswers = {"1", "-1"};
  Add(MakeLetters(in_, "Letters.docx"));
  form().PushButton2_Click();
  const auto inputs = dialogs_.Of("input");
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs[1].text, "Enter Y");
  EXPECT_EQ(inputs[1].title, "Input Y");
  EXPECT_EQ(inputs[1].defaultAnswer, "1");
  EXPECT_EQ(Messages().back(), "Done.");
  EXPECT_TRUE(fs::exists(in_ / "Letters.docx"));
  ExpectIdle();

  dialogs_.shown.clear();
  form().Combo1().setCurrentIndex(3);
  dialogs_.inputAnswers = {"1"};
  form().PushButton2_Click();
  EXPECT_EQ(dialogs_.Of("input").size(), 1u);
}

TEST_F(BatchTest, an_answer_beyond_32_bits_fails_at_every_file_which_is_split_under_its_own_name) {
  NameByContent(0);
  dialogs_.inputAnswers = {"3000000000"};
  Add(MakeLetters(in_ / "a", "Letters.docx", {{"Dear A"}, {"Dear B"}}));
  Add(MakeLetters(in_ / "b", "Memo.docx", {{"Hello"}}));
  form().PushButton2_Click();
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  for (const auto& r : reports)
    EXPECT_EQ(r.text, support::ErrorReportText("Overflow", loc::kStartSplitting, 158));
  EXPECT_EQ(FilesIn(out_), (Names{"Letters-0001.docx", "Letters-0002.docx", "Memo-0001.docx"}));
  EXPECT_TRUE(fs::exists(in_ / "a" / "Letters.docx"));
  EXPECT_TRUE(fs::exists(in_ / "b" / "Memo.docx"));
  EXPECT_EQ(Messages().back(), "Done.");
}

TEST_F(BatchTest, an_empty_list_only_says_so_and_a_second_click_works) {
  form().PushButton2_Click();
  form().PushButton2_Click();
  EXPECT_EQ(Messages(), (Names{"No files added.", "No files added."}));
  EXPECT_EQ(form_->Bar().text(), QString("Progress Bar"));
  EXPECT_TRUE(form_->texts.empty());
  EXPECT_FALSE(form().Busy());
}

TEST_F(BatchTest, a_missing_output_folder_stops_the_run_unless_pieces_go_beside_the_inputs) {
  const std::string input = MakeLetters(in_, "Letters.docx");
  Add(input);
  for (const QString& text : {QString::fromStdString(input), QString(""),
                              QString::fromStdString((work_.path() / "gone").string())}) {
    dialogs_.shown.clear();
    form().Text1().setText(text);
    form().PushButton2_Click();
    EXPECT_EQ(Messages(), (Names{"Folder does not exist. Please select another folder."}));
    EXPECT_FALSE(form().Busy());
  }
  EXPECT_EQ(FilesIn(in_), (Names{"Letters.docx"}));

  dialogs_.shown.clear();
  form().Option4().click();
  form().PushButton2_Click();
  EXPECT_EQ(Messages(), (Names{"Done."}));
  EXPECT_EQ(FilesIn(in_).size(), 4u);
}

TEST_F(BatchTest, an_open_document_asks_once_and_no_stops_before_any_file) {
  Add(MakeLetters(in_, "Letters.docx"));
  Add(MakeLetters(in_, "Second.docx"));
  testing_support::WriteFile(in_ / "~$tters.docx", "owner");
  dialogs_.messageAnswers = {support::Answer::No};
  form().PushButton2_Click();
  ASSERT_EQ(dialogs_.Of("message").size(), 1u);
  EXPECT_EQ(dialogs_.Of("message")[0].text, engine::WordMayBeOpenQuestion());
  EXPECT_EQ(dialogs_.Of("message")[0].buttons, support::Buttons::YesNo);
  EXPECT_TRUE(FilesIn(out_).empty());
  EXPECT_FALSE(form().Busy());
  EXPECT_EQ(form().List().Count(), 2);

  dialogs_.shown.clear();
  dialogs_.messageAnswers = {support::Answer::Yes};
  form().PushButton2_Click();
  EXPECT_EQ(Messages(), (Names{engine::WordMayBeOpenQuestion(), "Done."}));
  EXPECT_EQ(FilesIn(out_).size(), 6u);
}

TEST_F(BatchTest, a_second_click_during_a_run_is_turned_away) {
  Add(MakeLetters(in_, "Letters.docx"));
  int clicks = 0;
  QTimer::singleShot(0, form_.get(), [&] {
    ++clicks;
    form().PushButton2_Click();
  });
  form().PushButton2_Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Messages(), (Names{"Done."}));
  EXPECT_EQ(FilesIn(out_), (Names{"Letters-0001.docx", "Letters-0002.docx", "Letters-0003.docx"}));
}

TEST_F(BatchTest, the_hourglass_guards_the_list_from_the_first_yield_on) {
  Add(MakeLetters(in_, "Letters.docx"));
  int pointerAtYield = -1;
  QTimer::singleShot(0, form_.get(), [&] {
    pointerAtYield = form().GetPointer();
    form().List().SelectPosition(1);
    form().List().RemoveSelectedUnlessBusy();
  });
  form().PushButton2_Click();
  EXPECT_EQ(pointerAtYield, support::kPointerHourglass);
  EXPECT_EQ(form().List().Count(), 1);
  EXPECT_EQ(FilesIn(out_).size(), 3u);
}

TEST_F(BatchTest, a_file_added_during_a_run_is_not_processed_and_the_bar_stays_below_100) {
  Add(MakeLetters(in_, "First.docx"));
  Add(MakeLetters(in_, "Second.docx"));
  const std::string late = MakeLetters(in_, "Late.docx");
  QTimer::singleShot(0, form_.get(), [&] { form().List().AddFileEntry(late); });
  form().PushButton2_Click();
  EXPECT_EQ(form().List().Count(), 3);
  const Names pieces = FilesIn(out_);
  EXPECT_EQ(std::count_if(pieces.begin(), pieces.end(),
                          [](const std::string& n) { return n.rfind("Late", 0) == 0; }),
            0);
  EXPECT_EQ(pieces.size(), 6u);
  std::vector<std::pair<std::string, int>> starts;
  for (const auto& t : form_->texts)
    if (t.first.rfind("Processing: ", 0) == 0) starts.push_back(t);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1], (std::pair<std::string, int>{"Processing: Second.docx", 66}));
  EXPECT_EQ(Messages(), (Names{"Done."}));
}

TEST_F(BatchTest, broken_and_missing_files_are_reported_and_the_good_one_is_still_split) {
  testing_support::WriteFile(in_ / "Broken.docx", "this is not a zip archive");
  Add((in_ / "Broken.docx").string());
  Add((in_ / "Missing.docx").string());
  Add(MakeLetters(in_, "Good.docx"));
  form().PushButton2_Click();
  const Names messages = Messages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages.back(), "Done.");
  const auto reports = Reports();
  EXPECT_GE(reports.size(), 2u);
  for (const auto& r : reports)
    EXPECT_NE(r.text.find(loc::kDoItByFile), std::string::npos) << r.text;
  EXPECT_EQ(FilesIn(out_), (Names{"Good-0001.docx", "Good-0002.docx", "Good-0003.docx"}));
  EXPECT_EQ(FilesIn(in_), (Names{"Broken.docx", "Good.docx"}));
  ExpectIdle();
}

TEST_F(BatchTest, pieces_never_overwrite_an_input_of_the_run) {
  // The second input carries the name the first input's first piece asks for.
  Add(MakeLetters(in_, "Letters.docx"));
  const std::string clash = MakeLetters(out_, "Letters-0001.docx", {{"Keep me"}});
  Add(clash);
  const std::string before = testing_support::ReadFile(clash);
  form().PushButton2_Click();
  EXPECT_EQ(testing_support::ReadFile(clash), before);
  const Names pieces = FilesIn(out_);
  EXPECT_NE(std::find(pieces.begin(), pieces.end(), "Letters-0001 (2).docx"), pieces.end());
  EXPECT_EQ(Messages().back(), "Done.");
}

// Two-page letters with a letterhead header and a footer in section 1.
std::string MakeTwoPageLetters(const fs::path& folder, const std::string& name) {
  using fixture::P;
  fixture::Package package;
  const std::string refs = R"(<w:headerReference w:type="default" r:id="rIdH"/>)"
                           R"(<w:footerReference w:type="default" r:id="rIdF"/>)";
  const char* names[] = {"Miller", "Novak", "Okafor"};
  for (int r = 0; r < 3; ++r) {
    package.body += P(std::string("Dear Mrs. ") + names[r] + ",");
    package.body += R"(<w:p><w:r><w:br w:type="page"/></w:r></w:p>)";
    package.body += P(std::string("Terms for ") + names[r] + " apply.");
    package.body += r < 2 ? fixture::BreakP("", fixture::SectPr("nextPage", refs))
                          : fixture::SectPr("nextPage", refs);
  }
  package.documentRels = {{"rIdH", fixture::kRelHeader, "header1.xml"},
                          {"rIdF", fixture::kRelFooter, "footer1.xml"}};
  package.parts = {
      {"word/header1.xml", fixture::kCtHeader, fixture::HeaderXml(P("ACME") + P("Ltd"))},
      {"word/footer1.xml", fixture::kCtFooter, fixture::HeaderXml(P("Harbour Road 7"), true)}};
  fs::create_directories(folder);
  const std::string path = (folder / name).string();
  fixture::Write(path, package);
  return path;
}

std::string StoryOf(const fs::path& piece) {
  auto app = engine::CreateBuiltinApplication();
  auto doc = app->DocumentsOpen(piece.string());
  std::string text = doc->Content()->Text();
  doc->Close(word::wdDoNotSaveChanges);
  return text;
}

// Every naming rule through the window, each run with fresh answers: the
// pieces carry the derived name, hold their own record, pass the package
// check, and no working copy stays behind.
TEST_F(BatchTest, every_naming_rule_names_valid_pieces_that_hold_their_records) {
  struct Rule {
    int index;
    Names answers;
    const char* name;
  };
  const std::vector<Rule> rules = {{0, {"2"}, "Dear Mrs."},
                                   {1, {"1"}, "ACMELtd"},
                                   {2, {"2"}, "Harbour Road"},
                                   {3, {"3"}, "Terms for Miller"},
                                   {4, {"3"}, "Terms for Okafor"},
                                   {5, {"2", "3"}, "Dear Mrs."},
                                   {0, {"-1"}, "Dear"}};  // fewer than one word: one word
  const std::string input = MakeTwoPageLetters(in_, "Letters.docx");
  const std::string before = testing_support::ReadFile(input);
  Add(input);
  for (const Rule& rule : rules) {
    SCOPED_TRACE("rule " + std::to_string(rule.index) + " " + rule.name);
    fs::remove_all(out_);
    fs::create_directories(out_);
    dialogs_.shown.clear();
    NameByContent(rule.index);
    dialogs_.inputAnswers.assign(rule.answers.begin(), rule.answers.end());
    form().PushButton2_Click();
    const std::string base = rule.name;
    ASSERT_EQ(FilesIn(out_),
              (Names{base + "-0001.docx", base + "-0002.docx", base + "-0003.docx"}));
    EXPECT_EQ(StoryOf(out_ / (base + "-0002.docx")),
              "Dear Mrs. Novak,\r\f\rTerms for Novak apply.\r\r");
    bool ok = false;
    const std::string report = testing_support::RunDocxCheck(out_.string(), &ok);
    EXPECT_TRUE(ok) << report;
    EXPECT_EQ(FilesIn(in_), (Names{"Letters.docx"}));
    EXPECT_EQ(testing_support::ReadFile(input), before);
    EXPECT_EQ(Messages(), (Names{"Done."}));
    ExpectIdle();
  }
}

// Options are read from the controls at each use: a folder changed while a
// run goes on takes the pieces of the files that follow.
TEST_F(BatchTest, a_folder_changed_during_a_run_takes_the_later_pieces) {
  const fs::path later = work_.path() / "later";
  fs::create_directories(later);
  Add(MakeLetters(in_, "First.docx"));
  Add(MakeLetters(in_, "Second.docx"));
  bool changed = false;
  form_->onText = [&](const std::string& text) {
    if (!changed && text == "Processing: Second.docx") {
      changed = true;
      form().Text1().setText(QString::fromStdString(later.string()));
    }
  };
  form().PushButton2_Click();
  EXPECT_TRUE(changed);
  EXPECT_EQ(FilesIn(out_), (Names{"First-0001.docx", "First-0002.docx", "First-0003.docx"}));
  EXPECT_EQ(FilesIn(later), (Names{"Second-0001.docx", "Second-0002.docx", "Second-0003.docx"}));
}

// Closing the window ends the program at once, also in the middle of a
// content-named run; the working copy made beside the input goes with it.
TEST_F(BatchTest, closing_during_a_content_named_run_leaves_no_working_copy) {
  NameByContent(0);
  dialogs_.inputAnswers = {"2"};
  Add(MakeLetters(in_, "Letters.docx"));
  int ended = 0;
  Names atClose;
  form_->SetEndNow([&] {
    ++ended;
    atClose = FilesIn(in_);
  });
  bool closed = false;
  form_->onText = [&](const std::string& text) {
    if (!closed && text.rfind("Creating: ", 0) == 0) {
      closed = true;
      EXPECT_EQ(FilesIn(in_), (Names{"Dear Mrs..docx", "Letters.docx"}));  // the working copy
      form_->close();
    }
  };
  form().PushButton2_Click();
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(atClose, (Names{"Letters.docx"}));
}

#ifndef _WIN32
// Ended from outside in the middle of a run (a logout's SIGTERM, Ctrl-C in
// its terminal): the window is closed as by its close button, so the working
// copy goes as it does then.
TEST_F(BatchTest, an_ending_signal_during_a_run_closes_the_window_and_leaves_no_working_copy) {
  const app::EndSignals endSignals(*form_);
  NameByContent(0);
  dialogs_.inputAnswers = {"2"};
  Add(MakeLetters(in_, "Letters.docx"));
  int ended = 0;
  Names atEnd;
  form_->SetEndNow([&] {
    ++ended;
    atEnd = FilesIn(in_);
  });
  bool signalled = false;
  form_->onText = [&](const std::string& text) {
    if (!signalled && text.rfind("Creating: ", 0) == 0) {
      signalled = true;
      std::raise(SIGTERM);
    }
  };
  form().PushButton2_Click();
  EXPECT_TRUE(signalled);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(atEnd, (Names{"Letters.docx"}));
}
#endif

// Closed while the name is being taken: the private temporary copy goes too.
TEST_F(BatchTest, closing_while_a_name_is_taken_leaves_nothing_in_the_temporary_folder) {
  TempDir temp;
  setenv("TEMP", temp.str().c_str(), 1);
  NameByContent(0);
  dialogs_.inputAnswers = {"2"};
  Add(MakeLetters(in_, "Letters.docx"));
  bool closed = false, emptyAtEnd = false;
  form_->SetEndNow([&] { emptyAtEnd = fs::is_empty(temp.path()); });
  form_->onYield = [&] {
    if (!closed && !fs::is_empty(temp.path())) {
      closed = true;
      form_->close();
    }
  };
  form().PushButton2_Click();
  unsetenv("TEMP");
  EXPECT_TRUE(closed);
  EXPECT_TRUE(emptyAtEnd);
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

}  // namespace
}  // namespace apptest
