#pragma once
// The answers of the test launcher (parvane-test-window, the real window built
// for the tests only): when the environment variable PARVANE_TEST_ANSWERS
// names a file, the window talks to scripted dialogs instead of real ones, so
// that a test driving the program from outside (under Xvfb) never meets a
// modal box it cannot answer. The shipped program has no such hook.
//
// The answers file holds one directive a line; blank lines and lines starting
// with '#' are ignored:
//   message Yes|No|Ok|Cancel   the next message box's answer (default: Ok, No for questions)
//   input TEXT                 the next input box's answer (default: cancel)
//   open TEXT                  the next open-file dialog's answer (default: cancel)
//   browse PATH                the next folder chooser's answer (default: cancel)
//   log PATH                   append a line per shown dialog to PATH
//   add PATH                   put PATH in the file list once the window is up
// A log line is "<kind>\t<title>\t<text>", written and flushed when the dialog
// is shown and before it is answered.

#include <memory>
#include <string>
#include <vector>

#include "scripted_dialogs.h"

namespace testing_support {

struct TestAnswers {
  std::unique_ptr<testing_support::ScriptedDialogs> dialogs;
  std::vector<std::string> entries;  // the "add" lines, in order
};

// The name of the answers file, or "" when the variable is not set.
std::string TestAnswersFile();

// Reads an answers file; throws std::runtime_error naming the file and line
// when it cannot be read or holds an unknown directive.
TestAnswers LoadTestAnswers(const std::string& file);

}  // namespace testing_support
