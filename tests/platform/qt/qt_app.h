// One QApplication for the whole test program, created on first use and never exec()'d.
#pragma once

#include <QApplication>

namespace xfr::testing {

inline QApplication& QtApp() {
  static int argc = 1;
  static char name[] = "qt_tests";
  static char* argv[] = {name, nullptr};
  // Kept to the end of the process: QtDBus's own thread outlives the tests.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace xfr::testing
