// parvane: the main window.

#include <QApplication>
#include <QDir>

#include "app/form1.h"
#include "app/qt_dialogs.h"
#include "support/paths.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  support::SetProgramFolder(
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());

  app::QtDialogs dialogs;
  app::Form1 form(dialogs);
  dialogs.SetOwner(&form);
  form.Form_Load();
  // No word processor could be had: the advice was shown, the window never is.
  if (form.Ended()) return 0;
  form.show();
  return application.exec();
}
