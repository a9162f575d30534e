#pragma once
// Dialogs that play a script of answers and record what was shown: the tests'
// stand-in for the person at the keyboard.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/dialogs.h"

namespace testing_support {

class ScriptedDialogs : public support::Dialogs {
 public:
  struct Shown {
    std::string kind;   // "message", "input", "open", "browse", "shell"
    std::string title;  // the effective title (the application title when none was given)
    std::string text;   // message text, prompt, dialog title or shell target
    support::Buttons buttons = support::Buttons::Ok;
    support::Icon icon = support::Icon::None;
    std::string defaultAnswer;  // input boxes: the proposed answer
  };

  // Answers are taken in order; when a queue runs dry the defaults apply:
  // messages answer Ok (or No for questions), inputs and dialogs cancel.
  std::deque<support::Answer> messageAnswers;
  std::deque<std::string> inputAnswers;
  std::deque<std::string> openAnswers;  // "" cancels; "!overflow" raises support::DialogOverflow
  std::deque<std::string> browseAnswers;
  // Runs whenever something is shown, before the answer is taken (tests use it
  // to act in the middle of a run).
  std::function<void(const Shown&)> onShow;

  std::vector<Shown> shown;

  support::Answer Message(const std::string& text, support::Buttons buttons, support::Icon icon,
                          const std::string& title = std::string()) override;
  std::string Input(const std::string& prompt, const std::string& title,
                    const std::string& defaultAnswer) override;
  std::string OpenFiles(const std::string& title, const std::string& filter) override;
  std::string BrowseFolder(const std::string& title, const std::string& start) override;
  void OpenWithShell(const std::string& target) override;

  // What was shown of one kind, in order.
  std::vector<Shown> Of(const std::string& kind) const;
  std::vector<std::string> MessageTexts() const;

 private:
  void Record(Shown s);
};

}  // namespace testing_support
