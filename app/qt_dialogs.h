#pragma once
// The real dialogs: Qt message boxes, input boxes, the open-file dialog, a
// folder chooser and the desktop's "open with the default application".

#include <QPointer>
#include <QWidget>
#include <string>

#include "support/dialogs.h"

namespace app {

// Message texts use CR LF or a lone CR as line ends; Qt shows "\n".
QString ForDisplay(const std::string& text);
// The chooser's answer as the callers expect it: native separators, a root
// keeps its closing separator, any other folder has none.
std::string ChosenFolderPath(const QString& qtPath);
// The open-file dialog's answer: "" for none, the path for one, else the
// folder (as ChosenFolderPath) and each name, separated by NUL, in order.
std::string OpenFilesResult(const QStringList& qtPaths);
// "Label|pattern|Label|pattern" as a Qt name filter ("Label (p1 p2);;...").
QString QtNameFilter(const std::string& filter);

class QtDialogs : public support::Dialogs {
 public:
  explicit QtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  // The window the dialogs are modal to.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  support::Answer Message(const std::string& text, support::Buttons buttons, support::Icon icon,
                          const std::string& title = std::string()) override;
  std::string Input(const std::string& prompt, const std::string& title,
                    const std::string& defaultAnswer) override;
  std::string OpenFiles(const std::string& title, const std::string& filter) override;
  std::string BrowseFolder(const std::string& title, const std::string& start) override;
  void OpenWithShell(const std::string& target) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace app
