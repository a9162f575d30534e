#pragma once
// The seam through which the program talks to the user. The Qt implementation
// shows real dialogs; tests use ScriptedDialogs, which records every message
// and plays back prepared answers.

#include <stdexcept>
#include <string>

namespace support {

// Message-box styles and answers, with the values the system has always used.
enum class Buttons : int { Ok = 0, YesNo = 4 };
enum class Icon : int { None = 0, Warning = 48 };
enum class Answer : int { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// Raised by OpenFiles when the selection does not fit the dialog's buffer.
class DialogOverflow : public std::runtime_error {
 public:
  DialogOverflow() : std::runtime_error("The file name buffer is too small.") {}
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box. An empty title shows the application title.
  virtual Answer Message(const std::string& text, Buttons buttons, Icon icon,
                         const std::string& title = std::string()) = 0;
  // A one-line input box; Cancel gives "".
  virtual std::string Input(const std::string& prompt, const std::string& title,
                            const std::string& defaultAnswer) = 0;
  // The open-file dialog allowing several files. Returns "" on cancel, the full
  // path for one file, or the folder, then each name, separated by NUL.
  // `filter` is "Label|pattern|Label|pattern".
  virtual std::string OpenFiles(const std::string& title, const std::string& filter) = 0;
  // A modal folder chooser opened at `start`; the chosen path (a root keeps
  // its separator, any other path has none), or "" on cancel.
  virtual std::string BrowseFolder(const std::string& title, const std::string& start) = 0;
  // Asks the desktop shell to open a file, folder or address with its default
  // application. Nothing is waited for and the result is not examined.
  virtual void OpenWithShell(const std::string& target) = 0;
};

// The application title that untitled message boxes show.
const std::string& AppTitle();
// Cuts the product title to at most 40 characters at word boundaries and sets
// it as the application title; throws when a cut finds no blank.
void SetAppTitle(const std::string& productTitle = "Parvane");

}  // namespace support
