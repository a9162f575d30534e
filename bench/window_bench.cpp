// The batch run through the main window, offscreen: splits the given files
// into a folder as "Start Splitting" does and prints the seconds it took.
//
//   window_bench OUTPUT_FOLDER FILE...

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/form1.h"
#include "filelist/file_list.h"
#include "scripted_dialogs.h"
#include "support/allocator.h"
#include "support/time_zone.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_bench OUTPUT_FOLDER FILE...\n");
    return 2;
  }
  // As the window's own start-up does.
  support::SettleTimeZone();
  support::KeepFreedMemory();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  QTemporaryDir store;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());

  testing_support::ScriptedDialogs dialogs;
  app::Form1 form(dialogs);
  form.SetMakerPageDraw([] { return 50; });
  form.Form_Load();
  if (form.Ended()) return 2;
  form.Text1().setText(QString::fromStdString(std::string(argv[1]) + "/"));
  for (int i = 2; i < argc; ++i) form.List().AddFileEntry(argv[i]);

  const auto start = std::chrono::steady_clock::now();
  form.PushButton2_Click();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int reports = 0;
  for (const auto& shown : dialogs.Of("message")) reports += shown.title == "Application Error";
  std::printf("%.3f s, %d reports\n", seconds, reports);
  return reports == 0 ? 0 : 1;
}
