#pragma once
// Requests from outside to end (SIGTERM at a logout or a kill, SIGINT from
// the terminal it was started from, SIGHUP when that terminal goes) close the
// window as its close button would, from the event loop: a run in progress
// ends there, and what it made for itself (LibreOffice and its private
// folders, a working copy) goes with it. A second request before that ends
// the program at once, LibreOffice first.

#include <memory>

class QWidget;

namespace app {

// Until a window takes them, each of those requests ends the program at once,
// LibreOffice first.
void EndAtOnceOnEndSignals();

class EndSignals {
 public:
  explicit EndSignals(QWidget& window);
  // The handlers from before are back.
  ~EndSignals();
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace app
