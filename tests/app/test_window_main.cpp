// parvane-test-window: the real main window for tests that drive it from
// outside (under Xvfb), with the dialogs answered from PARVANE_TEST_ANSWERS.

#include <QApplication>
#include <exception>
#include <iostream>

#include "app/run_window.h"
#include "test_answers.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  testing_support::TestAnswers scripted;
  if (const std::string file = testing_support::TestAnswersFile(); !file.empty()) {
    try {
      scripted = testing_support::LoadTestAnswers(file);
    } catch (const std::exception& e) {
      std::cerr << "parvane-test-window: " << e.what() << "\n";
      return 2;
    }
  }
  return app::RunWindow(scripted.dialogs.get(), scripted.entries);
}
