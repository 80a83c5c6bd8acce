// One QApplication for a GoogleTest program of window tests, made before the
// first test runs and on the offscreen platform unless the caller chose one.
#pragma once

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

namespace trovelane::ui::testing {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto* made = new QApplication(argc, argv);
    // Window habits go to a scratch folder, never to the user's own.
    static QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    return made;
  }();
  return *app;
}

// Makes the application as the test program starts.
inline const bool kApplicationMade = (TestApplication(), true);

}  // namespace trovelane::ui::testing
