// Ending requests on POSIX systems: the signal handler writes a byte to a
// pipe, whose other end the event loop watches.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

#include "app/end_signals.h"
#include "engine/libreoffice.h"

namespace app {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int wake[2] = {-1, -1};
volatile sig_atomic_t asked = 0;

void EndAtOnce(int signal) {
  engine::StopOfficeFromSignal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void OnEndRequest(int signal) {
  // The event loop did not get to the first: ended at once.
  if (asked) return EndAtOnce(signal);
  asked = 1;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(wake[1], &byte, 1);
}

}  // namespace

void EndAtOnceOnEndSignals() {
  for (int signal : kSignals) std::signal(signal, EndAtOnce);
}

struct EndSignals::State {
  std::unique_ptr<QSocketNotifier> notifier;
  struct sigaction before[sizeof kSignals / sizeof kSignals[0]];
};

EndSignals::EndSignals(QWidget& window) : state_(std::make_unique<State>()) {
  if (wake[0] < 0 && ::pipe(wake) == 0) {
    for (int end : wake) ::fcntl(end, F_SETFD, FD_CLOEXEC);
    ::fcntl(wake[1], F_SETFL, O_NONBLOCK);
  }
  if (wake[0] < 0) return;  // the handlers from before stay
  asked = 0;
  state_->notifier = std::make_unique<QSocketNotifier>(wake[0], QSocketNotifier::Read);
  QPointer<QWidget> target(&window);
  QObject::connect(state_->notifier.get(), &QSocketNotifier::activated, [target] {
    char byte = 0;
    [[maybe_unused]] const ssize_t read = ::read(wake[0], &byte, 1);
    if (target) target->close();
  });
  struct sigaction action = {};
  action.sa_handler = OnEndRequest;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &action, &state_->before[i]);
}

EndSignals::~EndSignals() {
  if (!state_->notifier) return;
  for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &state_->before[i], nullptr);
  state_->notifier.reset();
}

}  // namespace app
