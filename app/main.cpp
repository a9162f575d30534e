// parvane: the main window.

#include <QApplication>

#include "app/run_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return app::RunWindow();
}
