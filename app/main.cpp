// parvane: the main window.

#include <QApplication>
#include <QDir>
#include <exception>
#include <iostream>
#include <memory>

#include "app/form1.h"
#include "app/qt_dialogs.h"
#include "app/test_answers.h"
#include "filelist/file_list.h"
#include "support/paths.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  support::SetProgramFolder(
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());

  // Test hook: scripted dialogs instead of real ones, only when asked for.
  app::TestAnswers scripted;
  if (const std::string file = app::TestAnswersFile(); !file.empty()) {
    try {
      scripted = app::LoadTestAnswers(file);
    } catch (const std::exception& e) {
      std::cerr << "parvane: " << e.what() << "\n";
      return 2;
    }
  }
  app::QtDialogs qtDialogs;
  support::Dialogs& dialogs =
      scripted.dialogs ? static_cast<support::Dialogs&>(*scripted.dialogs) : qtDialogs;

  app::Form1 form(dialogs);
  qtDialogs.SetOwner(&form);
  form.Form_Load();
  // No word processor could be had: the advice was shown, the window never is.
  if (form.Ended()) return 0;
  for (const std::string& entry : scripted.entries) form.List().AddFileEntry(entry);
  form.show();
  return application.exec();
}
