#include "app/run_window.h"

#include <QCoreApplication>
#include <QDir>

#include "app/end_signals.h"
#include "app/form1.h"
#include "app/qt_dialogs.h"
#include "filelist/file_list.h"
#include "support/paths.h"

namespace app {

int RunWindow(support::Dialogs* dialogs, const std::vector<std::string>& entries) {
  support::SetProgramFolder(
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());

  QtDialogs qtDialogs;
  Form1 form(dialogs ? *dialogs : qtDialogs);
  qtDialogs.SetOwner(&form);
  form.Form_Load();
  // No word processor could be had: the advice was shown, the window never is.
  if (form.Ended()) return 0;
  for (const std::string& entry : entries) form.List().AddFileEntry(entry);
  const EndSignals endSignals(form);
  form.show();
  return QCoreApplication::exec();
}

}  // namespace app
