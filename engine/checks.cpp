// Whether the word processor can be used at all, and whether one is open.

#include "engine/engine.h"
#include "support/dialogs.h"

namespace engine {

std::string WordNotInstalledMessage() {
  const char* paragraphs[] = {
      "Error 842001. A normal instance of Word could not be created.",
      "1. Please make sure Word is installed on this computer.",
      "2. Please open Word normally and make sure a blank document opens immediately without any "
      "interrupting window (such as an Word file recovery window).",
      "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens "
      "normally without any interrupting messages.",
      "4. All versions of Word are supported by this software except for the rare Word Starter "
      "and Student editions.",
  };
  std::string text;
  for (const char* p : paragraphs) {
    if (!text.empty()) text += "\r\n\r\n";
    text += p;
  }
  return text;
}

std::string WordMayBeOpenQuestion() {
  return "Word may be open. It is recommended that you close Word first. Use Ctrl+Alt+Del > Task "
         "Manager > WINWORD.EXE if necessary.\r\n\r\nWould you like to proceed anyway?";
}

void CheckWordInstalled(support::Dialogs& dialogs, const std::function<void()>& endProgram,
                        word::Factory& factory) {
  word::ApplicationPtr app;
  try {
    app = factory.CreateApplication();
  } catch (...) {
  }
  if (!app) {
    dialogs.Message(WordNotInstalledMessage(), support::Buttons::Ok, support::Icon::None);
    endProgram();
    return;
  }
  try {
    app->Quit();
  } catch (...) {
  }
}

bool IsWordRunning(word::Factory& factory) {
  try {
    const word::ApplicationPtr running = factory.GetRunningApplication();
    // Only released, never quit: the user's own word processor stays as it is.
    return running && running->Name() == "Microsoft Word";
  } catch (...) {
    return false;
  }
}

bool ConfirmWordClosed(support::Dialogs& dialogs, word::Factory& factory) {
  if (!IsWordRunning(factory)) return false;
  return dialogs.Message(WordMayBeOpenQuestion(), support::Buttons::YesNo, support::Icon::None) !=
         support::Answer::Yes;
}

}  // namespace engine
