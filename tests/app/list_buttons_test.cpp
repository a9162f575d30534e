// The list's buttons: adding by dialog, adding a folder's files, samples,
// help and clearing, with the texts they show byte for byte.
#include "app/list_buttons.h"
#include "app/settings.h"
#include "file_list_fixture.h"
#include "filelist/add_files.h"
#include "support/locations.h"

namespace filelist_test {
namespace {

using support::Answer;
using support::Buttons;
using support::Icon;

const std::string kS(1, support::kSep);
std::string Nul() {
  return std::string(1, '\0');
}

class AddFilesTest : public FileListTest {};

TEST_F(AddFilesTest, OneFileIsAddedExactlyAsTheDialogReturnedIt) {
  dialogs.openAnswers = {"C:\\Docs\\\\odd  name.doc"};
  app::PushButton1_Click(*list);
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"C:\\Docs\\\\odd  name.doc"}));
  const auto open = dialogs.Of("open");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].title, "Add File(s) - Hold Ctrl to select multiple files");
  EXPECT_EQ(open[0].text, "Word Documents (*.do*)|*.do*|All Files (*.*)|*.*");
}

TEST_F(AddFilesTest, SeveralFilesAreJoinedToTheirFolderInTheDialogsOrder) {
  const std::string docs = kS + "Docs";
  dialogs.openAnswers = {docs + Nul() + "c.doc" + Nul() + "a.doc" + Nul() + "b.doc",
                         kS + Nul() + "x.doc" + Nul() + "y.doc"};
  app::PushButton1_Click(*list);
  app::PushButton1_Click(*list);
  EXPECT_EQ(list->Entries(),
            (std::vector<std::string>{docs + kS + "c.doc", docs + kS + "a.doc", docs + kS + "b.doc",
                                      kS + "x.doc", kS + "y.doc"}));
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(AddFilesTest, APickedFileAlreadyListedIsListedAgain) {
  dialogs.openAnswers = {"/d/a.doc", "/d/a.doc"};
  app::PushButton1_Click(*list);
  app::PushButton1_Click(*list);
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"/d/a.doc", "/d/a.doc"}));
}

TEST_F(AddFilesTest, CancelAddsAndShowsNothing) {
  app::PushButton1_Click(*list);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(AddFilesTest, TooManyFilesShowsTheNoticeAndAddsNothing) {
  list->AddFileEntry("kept");
  dialogs.openAnswers = {"!overflow"};
  app::PushButton1_Click(*list);
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"kept"}));
  const auto shown = dialogs.Of("message");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text,
            "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" "
            "button.");
  EXPECT_EQ(shown[0].buttons, Buttons::Ok);
  EXPECT_EQ(shown[0].icon, Icon::None);
  EXPECT_EQ(shown[0].title, support::AppTitle());
  EXPECT_TRUE(host.reports.empty());
}

class FailingOpenDialogs : public testing_support::ScriptedDialogs {
 public:
  std::string OpenFiles(const std::string&, const std::string&) override {
    throw std::runtime_error("The dialog could not be created.");
  }
};

TEST_F(AddFilesTest, AnotherDialogFailureIsReportedUnderTheButton) {
  FailingOpenDialogs failing;
  filelist::FileList other(host, failing);
  app::PushButton1_Click(other);
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kAddFiles);
  EXPECT_EQ(host.reportDetails[0].description, "The dialog could not be created.");
  EXPECT_EQ(other.Count(), 0);
}

class AddFolderTest : public FileListTest {
 protected:
  // Answers the prompt with `answer` and the picker with the temporary folder.
  void Run(const std::string& answer, const std::string& folder = "") {
    dialogs.inputAnswers.push_back(answer);
    dialogs.browseAnswers.push_back(folder.empty() ? Root() : folder);
    app::PushButton6_Click(*list);
  }
};

TEST_F(AddFolderTest, PromptsForTheExtensionThenTheFolderAndStoresBoth) {
  Touch("a.doc");
  Run("do*");
  const auto input = dialogs.Of("input");
  ASSERT_EQ(input.size(), 1u);
  EXPECT_EQ(input[0].text,
            "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for "
            "all doc files, etc.)");
  EXPECT_EQ(input[0].defaultAnswer, "do*");
  EXPECT_EQ(input[0].title, support::AppTitle());
  const auto browse = dialogs.Of("browse");
  ASSERT_EQ(browse.size(), 1u);
  EXPECT_EQ(browse[0].title, "Please select folder:");
  EXPECT_EQ(browse[0].defaultAnswer, "");
  EXPECT_EQ(app::ReadSetting("LastFolder", "?"), Root());
  EXPECT_EQ(app::LastFolder(), Root());

  Run("txt");
  EXPECT_EQ(dialogs.Of("input")[1].defaultAnswer, "do*");
  EXPECT_EQ(dialogs.Of("browse")[1].defaultAnswer, Root());
  EXPECT_EQ(app::ReadSetting("Extension", ""), "txt");
  Run("doc");
  EXPECT_EQ(dialogs.Of("input")[2].defaultAnswer, "txt");
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{P("a.doc"), P("a.doc")}));
}

TEST_F(AddFolderTest, AnEmptyAnswerStopsAndKeepsTheStoredExtension) {
  app::WriteSetting("Extension", "txt");
  Touch("a.txt");
  Run("");
  EXPECT_EQ(app::ReadSetting("Extension", ""), "txt");
  EXPECT_TRUE(dialogs.Of("browse").empty());
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(host.pointers.empty());
}

TEST_F(AddFolderTest, CancellingThePickerStopsWithoutTouchingTheList) {
  Touch("a.doc");
  dialogs.inputAnswers = {"doc"};
  app::PushButton6_Click(*list);  // no browse answer: cancel
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(app::ReadSetting("Extension", ""), "doc");
  EXPECT_EQ(app::ReadSetting("LastFolder", "unset"), "unset");
  EXPECT_TRUE(host.pointers.empty());
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(AddFolderTest, TheScanRunsUnderTheHourglassAndResetsThePointer) {
  Touch("a.doc");
  Touch("A/b.doc");
  Run("doc");
  ASSERT_FALSE(host.pointerAtYield.empty());
  for (int p : host.pointerAtYield) EXPECT_EQ(p, support::kPointerHourglass);
  EXPECT_EQ(host.pointers,
            (std::vector<int>{support::kPointerHourglass, support::kPointerDefault}));
}

TEST_F(AddFolderTest, FilesComeFolderByFolderBreadthFirst) {
  Touch("top.doc");
  Touch("A/a.doc");
  Touch("B/b.doc");
  Touch("A/A1/a1.doc");
  Run("doc");
  // The chosen folder, then A and B in the platform's order, then A1.
  std::vector<std::string> expected{P("top.doc")};
  for (const auto& n : ListingOrder(dir.path(), true))
    expected.push_back(P(n + kS + (n == "A" ? "a.doc" : "b.doc")));
  expected.push_back(P("A/A1/a1.doc"));
  EXPECT_EQ(list->Entries(), expected);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(AddFolderTest, OwnerFilesLockFilesAndOtherTypesAreLeftOut) {
  Touch("a.doc");
  Touch("~$a.doc");
  Touch(".~lock.a.doc#");
  Touch("LETTER.DOCX");
  Touch("notes.txt");
  Touch(".hidden.doc");  // hidden only: listed
  Run("do*");
  auto entries = list->Entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{P(".hidden.doc"), P("LETTER.DOCX"), P("a.doc")}));
}

TEST_F(AddFolderTest, AStarAddsEveryFileOfEveryType) {
  Touch("a.doc");
  Touch("b");
  Touch("sub/c.png");
  Touch("sub/~tmp");
  Run("*");
  auto entries = list->Entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{P("a.doc"), P("b"), P("sub/c.png")}));
}

TEST_F(AddFolderTest, AFolderWithAClosingOrDoubledSeparatorGivesSinglePaths) {
  Touch("x.doc");
  Touch("sub/y.doc");
  filelist::AddFolderFiles(*list, Root() + kS, "*.doc");
  filelist::AddFolderFiles(*list, Root() + kS + kS + "sub", "*.doc");
  EXPECT_EQ(list->Entries(),
            (std::vector<std::string>{P("x.doc"), P("sub/y.doc"), P("sub/y.doc")}));
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(AddFolderTest, AScanFollowedByAFailedYieldReportsTheLineAndGoesOn) {
  Touch("a.doc");
  Touch("A/b.doc");
  // Yields: the scan's own first, then the file-adding loop's.
  dialogs.inputAnswers = {"doc"};
  dialogs.browseAnswers = {Root()};
  host.failYield = 1;
  app::PushButton6_Click(*list);
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kGetSubDirectories);
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(host.pointer, support::kPointerDefault);
}

class FailingBrowseDialogs : public testing_support::ScriptedDialogs {
 public:
  std::string BrowseFolder(const std::string&, const std::string&) override {
    throw std::runtime_error("No folder browser.");
  }
};

TEST_F(AddFolderTest, AFailedPickerIsReportedAtLine333) {
  FailingBrowseDialogs failing;
  failing.inputAnswers = {"doc"};
  filelist::FileList other(host, failing);
  app::PushButton6_Click(other);
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kAddFolder);
  EXPECT_EQ(host.reportDetails[0].line, 333);
  EXPECT_EQ(other.Count(), 0);
}

class SamplesTest : public FileListTest {
 protected:
  void SetUp() override {
    FileListTest::SetUp();
    saved_ = support::ProgramFolder();
    support::SetProgramFolder(Root());
  }
  void TearDown() override {
    support::SetProgramFolder(saved_);
    FileListTest::TearDown();
  }
  std::string saved_;
};

const char* const kQuestion =
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?";

TEST_F(SamplesTest, TwicePressedAddsTheSamplesOnceAndAsksEachTime) {
  Touch("Samples/one.docx");
  Touch("Samples/two.docx");
  Touch("Samples/~$owner.docx");  // not special here
  Mkdir("Samples/sub");
  app::PushButton10_Click(*list);
  app::PushButton10_Click(*list);
  std::vector<std::string> expected;
  for (const auto& n : ListingOrder(dir.path() / "Samples", false))
    expected.push_back(Root() + kS + "Samples" + kS + n);
  EXPECT_EQ(list->Entries(), expected);
  const auto shown = dialogs.Of("message");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, kQuestion);
  EXPECT_EQ(shown[0].buttons, Buttons::YesNo);
  EXPECT_EQ(shown[0].icon, Icon::None);
  EXPECT_EQ(shown[0].title, support::AppTitle());
  EXPECT_TRUE(dialogs.Of("shell").empty());
}

TEST_F(SamplesTest, OnlyTheSamplesNotListedExactlyAreAdded) {
  Touch("Samples/a.doc");
  Touch("Samples/b.doc");
  Touch("Samples/c.doc");
  const std::string b = Root() + kS + "Samples" + kS + "b.doc";
  list->AddFileEntry(b);
  list->AddFileEntry(Root() + kS + "Samples" + kS + "A.DOC");  // another spelling
  app::PushButton10_Click(*list);
  EXPECT_EQ(list->Count(), 4);
  const auto entries = list->Entries();
  EXPECT_EQ(std::count(entries.begin(), entries.end(), b), 1);
}

TEST_F(SamplesTest, YesOpensTheSampleFolder) {
  Touch("Samples/a.doc");
  dialogs.messageAnswers = {Answer::Yes};
  app::PushButton10_Click(*list);
  const auto shell = dialogs.Of("shell");
  ASSERT_EQ(shell.size(), 1u);
  EXPECT_EQ(shell[0].text, Root() + kS + "Samples" + kS);
}

TEST_F(SamplesTest, AnEmptyOrMissingSampleFolderStillAsks) {
  app::PushButton10_Click(*list);
  Mkdir("Samples");
  app::PushButton10_Click(*list);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{kQuestion, kQuestion}));
  EXPECT_TRUE(host.reports.empty());
}

const char* const kHelp =
    "This software splits a Word Mail Merge document with multiple pages into independent "
    "files.\r\rYou use mail merge when you want to create a set of documents that are "
    "essentially the same but where each document contains unique elements. For example, in a "
    "letter that announces a new product, your company logo and the text about the product "
    "will appear in each letter, and the address and greeting line will be different in each "
    "letter.\r\rWould you like to see a sample mail merge document?";

class HelpTest : public SamplesTest {};

TEST_F(HelpTest, TheQuestionIsExactAndNoOpensNothing) {
  app::PushButton5_Click(*list);
  const auto shown = dialogs.Of("message");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, kHelp);
  EXPECT_EQ(shown[0].text.find('\n'), std::string::npos);
  EXPECT_EQ(shown[0].buttons, Buttons::YesNo);
  EXPECT_EQ(shown[0].icon, Icon::None);
  EXPECT_EQ(shown[0].title, support::AppTitle());
  EXPECT_TRUE(dialogs.Of("shell").empty());
}

TEST_F(HelpTest, YesOpensTheSampleDocumentBesideTheProgramEvenWhenMissing) {
  dialogs.messageAnswers = {Answer::Yes};
  app::PushButton5_Click(*list);
  const auto shell = dialogs.Of("shell");
  ASSERT_EQ(shell.size(), 1u);
  EXPECT_EQ(shell[0].text, Root() + kS + "Sample Mail Merge Document.doc");
  EXPECT_TRUE(host.reports.empty());
}

class ThrowingMessageDialogs : public testing_support::ScriptedDialogs {
 public:
  support::Answer Message(const std::string&, support::Buttons, support::Icon,
                          const std::string&) override {
    throw std::runtime_error("The message box could not be shown.");
  }
};

TEST_F(HelpTest, AFailedQuestionIsReportedAtLine100AndTheDocumentOpens) {
  ThrowingMessageDialogs failing;
  filelist::FileList other(host, failing);
  app::PushButton5_Click(other);
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kHelp);
  EXPECT_EQ(host.reportDetails[0].line, 100);
  ASSERT_EQ(failing.Of("shell").size(), 1u);
  EXPECT_EQ(failing.Of("shell")[0].text, Root() + kS + "Sample Mail Merge Document.doc");
}

TEST_F(HelpTest, AFailedSampleQuestionIsReportedAtLine100WithTheEntriesKept) {
  Touch("Samples/a.doc");
  ThrowingMessageDialogs failing;
  filelist::FileList other(host, failing);
  app::PushButton10_Click(other);
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kLoadSamples);
  EXPECT_EQ(host.reportDetails[0].line, 100);
  EXPECT_EQ(other.Count(), 1);
  EXPECT_TRUE(failing.Of("shell").empty());
}

}  // namespace
}  // namespace filelist_test
