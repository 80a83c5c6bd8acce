#include "ui/threads_window.h"

#include <QSignalSpy>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "tests/ui/qt_app.h"

namespace trovelane::ui {
namespace {

TEST(ThreadsWindowTest, RowsByEngineIndexAndTheirStatus) {
  CThreadsWindow window(nullptr);
  EXPECT_EQ(window.windowTitle(), "t r o v e l a n e Search Threads");
  EXPECT_EQ(window.list()->columnWidth(0), 85);
  EXPECT_EQ(window.list()->horizontalHeaderItem(1)->text(), "Status");
  EXPECT_TRUE(window.list()->showGrid());
  for (int i = 0; i < 30; ++i) window.AddThreadRow(QStringLiteral("e%1").arg(i), "Not Active");
  window.SetThreadStatus(29, "Trying to stop...");
  window.SelectThreadRow(29);
  EXPECT_EQ(window.Status(29), "Trying to stop...");
  EXPECT_EQ(window.list()->currentRow(), 29);
  // Rows that do not exist are left alone.
  window.SetThreadStatus(30, "x");
  window.SetThreadStatus(-1, "x");
  window.SelectThreadRow(99);
  EXPECT_EQ(window.RowCount(), 30);
  EXPECT_EQ(window.Status(30), QString());
}

TEST(ThreadsWindowTest, ClosingTellsTheOwner) {
  CThreadsWindow window(nullptr);
  QSignalSpy closed(&window, &CThreadsWindow::closed);
  window.show();
  window.close();
  EXPECT_EQ(closed.count(), 1);
}

}  // namespace
}  // namespace trovelane::ui
