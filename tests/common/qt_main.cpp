// Entry point of the Qt test programs: one QApplication, offscreen unless told
// otherwise, with a settings store of the process's own. CTest runs test
// programs side by side; a shared store would let one test's options leak
// into another's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  QTemporaryDir store(QDir::tempPath() + "/parvane-test-settings-XXXXXX");
  if (!store.isValid()) return 2;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
