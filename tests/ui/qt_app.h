// One QApplication for a GoogleTest program of window tests, made before the
// first test runs and on the offscreen platform unless the caller chose one.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace trovelane::ui::testing {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Makes the application as the test program starts.
inline const bool kApplicationMade = (TestApplication(), true);

}  // namespace trovelane::ui::testing
