// parvane: the main window.

#include <QApplication>

#include "app/end_signals.h"
#include "app/run_window.h"
#include "support/allocator.h"
#include "support/time_zone.h"

int main(int argc, char** argv) {
  support::SettleTimeZone();
  support::KeepFreedMemory();
  // Ended from outside (a logout, a kill, Ctrl-C in its terminal) before the
  // window is up, it first ends the LibreOffice it may have started.
  app::EndAtOnceOnEndSignals();
  QApplication application(argc, argv);
  return app::RunWindow();
}
