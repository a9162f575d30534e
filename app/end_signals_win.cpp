// Ending requests on Windows: Ctrl-C and Ctrl-Break in its console end the
// program at once, as they did, LibreOffice first.

#include <QWidget>
#include <csignal>

#include "app/end_signals.h"
#include "engine/libreoffice.h"

namespace app {

namespace {

void EndAtOnce(int signal) {
  engine::StopOfficeFromSignal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void EndAtOnceOnEndSignals() {
  for (int signal : {SIGINT, SIGTERM}) std::signal(signal, EndAtOnce);
}

struct EndSignals::State {};

EndSignals::EndSignals(QWidget&) : state_(std::make_unique<State>()) {
  EndAtOnceOnEndSignals();
}

EndSignals::~EndSignals() = default;

}  // namespace app
