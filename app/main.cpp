// parvane: the main window.

#include <QApplication>
#include <csignal>

#include "app/run_window.h"
#include "engine/libreoffice.h"
#include "support/allocator.h"
#include "support/time_zone.h"

namespace {

// Ended from outside (a logout, a kill, Ctrl-C in its terminal), the window
// first ends the LibreOffice its run keeps, then ends as it would have.
void EndWithLibreOffice(int signal) {
  engine::StopOfficeFromSignal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
  support::SettleTimeZone();
  support::KeepFreedMemory();
  for (int signal : {SIGINT, SIGTERM}) std::signal(signal, EndWithLibreOffice);
#ifdef SIGHUP
  std::signal(SIGHUP, EndWithLibreOffice);
#endif
  QApplication application(argc, argv);
  return app::RunWindow();
}
