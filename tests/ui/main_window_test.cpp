#include "ui/main_window.h"

#include <gtest/gtest.h>

#include "tests/ui/qt_app.h"

namespace trovelane::ui {
namespace {

TEST(MainWindowTest, KeepsItsMinimumSize) {
  CMainFrame window;
  EXPECT_EQ(window.minimumSize(), QSize(500, 450));
}

}  // namespace
}  // namespace trovelane::ui
