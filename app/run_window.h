#pragma once
// The program's main window from start to end: start-up, the window, the event
// loop. The caller owns the QApplication.

#include <string>
#include <vector>

namespace support {
class Dialogs;
}

namespace app {

// Runs the window until it closes and returns the exit status. The user is
// asked through `dialogs` when given (the test launcher's scripted answers),
// through Qt's dialogs otherwise; `entries` go into the file list once the
// window is up.
int RunWindow(support::Dialogs* dialogs = nullptr, const std::vector<std::string>& entries = {});

}  // namespace app
