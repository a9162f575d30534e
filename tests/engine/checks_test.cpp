// Whether the word processor can be had, and whether a document is open in one.

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/factory.h"
#include "scripted_dialogs.h"
#include "scripted_word.h"
#include "support/paths.h"
#include "testing.h"

using support::Answer;
using testing_support::ScriptedDialogs;

namespace {

TEST(CheckWordInstalled, no_instance_shows_the_advice_once_and_ends_the_program) {
  scripted::Script script;
  script.failCreate = true;
  scripted::Factory word(script);
  ScriptedDialogs dialogs;
  int ended = 0;
  engine::CheckWordInstalled(
      dialogs, [&] { ++ended; }, word);
  EXPECT_EQ(ended, 1);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].buttons, support::Buttons::Ok);
  EXPECT_EQ(dialogs.shown[0].icon, support::Icon::None);
  EXPECT_EQ(dialogs.shown[0].title, support::AppTitle());
  // Five paragraphs, a blank line between them and none at the end.
  EXPECT_EQ(dialogs.shown[0].text,
            "Error 842001. A normal instance of Word could not be created.\r\n\r\n"
            "1. Please make sure Word is installed on this computer.\r\n\r\n"
            "2. Please open Word normally and make sure a blank document opens immediately "
            "without any interrupting window (such as an Word file recovery window).\r\n\r\n"
            "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens "
            "normally without any interrupting messages.\r\n\r\n"
            "4. All versions of Word are supported by this software except for the rare Word "
            "Starter and Student editions.");
}

TEST(CheckWordInstalled, an_instance_is_created_and_quit_silently) {
  scripted::Factory word(scripted::Script{});
  ScriptedDialogs dialogs;
  int ended = 0;
  engine::CheckWordInstalled(
      dialogs, [&] { ++ended; }, word);
  EXPECT_EQ(ended, 0);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(word.log.calls, (std::vector<std::string>{"Create", "Quit"}));
}

TEST(CheckWordInstalled, the_built_in_word_processor_can_be_made_to_fail) {
  ScriptedDialogs dialogs;
  int ended = 0;
  engine::Builtin().SetFailCreation(true);
  engine::CheckWordInstalled(dialogs, [&] { ++ended; });
  engine::Builtin().SetFailCreation(false);
  EXPECT_EQ(ended, 1);
}

TEST(ConfirmWordClosed, asks_only_when_a_word_processor_answers_and_yes_goes_on) {
  scripted::Script script;
  scripted::Factory none(script);
  ScriptedDialogs dialogs;
  EXPECT_FALSE(engine::ConfirmWordClosed(dialogs, none));
  EXPECT_TRUE(dialogs.shown.empty());

  script.runningName = "Microsoft Word";
  scripted::Factory running(script);
  dialogs.messageAnswers = {Answer::Yes, Answer::No};
  EXPECT_FALSE(engine::ConfirmWordClosed(dialogs, running));
  EXPECT_TRUE(engine::ConfirmWordClosed(dialogs, running));
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].text,
            "Word may be open. It is recommended that you close Word first. Use Ctrl+Alt+Del > "
            "Task Manager > WINWORD.EXE if necessary.\r\n\r\nWould you like to proceed anyway?");
  EXPECT_EQ(dialogs.shown[0].buttons, support::Buttons::YesNo);
  EXPECT_EQ(dialogs.shown[0].icon, support::Icon::None);
}

TEST(IsWordRunning, the_name_must_match_exactly) {
  scripted::Script script;
  script.runningName = "microsoft word";
  scripted::Factory other(script);
  EXPECT_FALSE(engine::IsWordRunning(other));
  script.runningName = "Microsoft Word";
  scripted::Factory word(script);
  EXPECT_TRUE(engine::IsWordRunning(word));
  EXPECT_FALSE(word.log.Has("Quit"));  // the user's own instance is never quit
}

TEST(IsWordRunning, the_built_in_backend_answers_for_lock_files_of_listed_documents) {
  testing_support::TempDir dir;
  const std::string letters = dir.file("Letters.docx");
  const std::string report = dir.file("Report.docx");
  testing_support::WriteFile(letters, "x");
  testing_support::WriteFile(report, "x");
  engine::BuiltinFactory factory;
  std::vector<std::string> listed = {letters, report};
  factory.SetWatchedDocuments([&] { return listed; });
  EXPECT_FALSE(engine::IsWordRunning(factory));

  testing_support::WriteFile(dir.file("~$tters.docx"), "owner");  // Word's owner file
  EXPECT_TRUE(engine::IsWordRunning(factory));
  std::filesystem::remove(dir.file("~$tters.docx"));
  // Two characters are cut, however many bytes they take.
  const std::string umlaut = dir.file("\xC3\x84rger.docx");
  testing_support::WriteFile(support::ToFsPath(umlaut), "x");
  listed.push_back(umlaut);
  testing_support::WriteFile(dir.file("~$ger.docx"), "owner");
  EXPECT_TRUE(engine::IsWordRunning(factory));
  std::filesystem::remove(dir.file("~$ger.docx"));
  listed.pop_back();

  testing_support::WriteFile(dir.file(".~lock.Report.docx#"), "lock");  // LibreOffice's
  EXPECT_TRUE(engine::IsWordRunning(factory));
  listed = {letters};  // only listed documents count
  EXPECT_FALSE(engine::IsWordRunning(factory));
}

}  // namespace
