#include "ui/threads_window.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include "app/suspension_file.h"
#include "tests/support/loopback_server.h"
#include "tests/ui/qt_app.h"
#include "tests/ui/ui_fixture.h"

namespace trovelane::ui {
namespace {

TEST(ThreadsWindowTest, RowsByEngineIndexAndTheirStatus) {
  CThreadsWindow window(nullptr);
  EXPECT_EQ(window.windowTitle(), "t r o v e l a n e Search Threads");
  EXPECT_GE(window.list()->columnWidth(0), 85);
  EXPECT_GE(window.list()->columnWidth(0), window.list()->horizontalHeader()->sectionSizeHint(0));
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

TEST(ThreadsWindowTest, ALastSearchColumnBesideTheStatus) {
  CThreadsWindow window(nullptr);
  ASSERT_EQ(window.list()->columnCount(), 3);
  EXPECT_EQ(window.list()->horizontalHeaderItem(2)->text(), "Last Search");
  window.AddThreadRow("a", "Not Active");
  window.AddThreadRow("b", "Not Active", "3 results, 1 page, done");
  EXPECT_EQ(window.Ending(0), QString());
  EXPECT_EQ(window.Ending(1), "3 results, 1 page, done");
  window.SetThreadEnding(0, "0 results, 0 pages, unreachable");
  window.SetThreadEnding(5, "x");
  EXPECT_EQ(window.Ending(0), "0 results, 0 pages, unreachable");
  EXPECT_EQ(window.Status(0), "Not Active");
  EXPECT_EQ(window.Ending(5), QString());
}

TEST(ThreadsWindowTest, ClosingTellsTheOwner) {
  CThreadsWindow window(nullptr);
  QSignalSpy closed(&window, &CThreadsWindow::closed);
  window.show();
  window.close();
  EXPECT_EQ(closed.count(), 1);
}

using ThreadsWindowSearchTest = testing::UiTest;

// 2026-12-08 12:00:00 UTC.
const WallClock::time_point kNoon = WallClock::time_point(std::chrono::seconds(1796731200));

TEST_F(ThreadsWindowSearchTest, ShowsSuspensionsAndHowEachEngineEnded) {
  setenv("TZ", "UTC", 1);
  tzset();
  frame_->clock = [] { return kNoon; };
  // A third engine that answers 429: blocked, then suspended.
  test::LoopbackServer limited([](test::ServerConnection& c) {
    c.ReadRequest();
    c.Send(test::HttpResponse("HTTP/1.0 429 Too Many Requests", "", "slow down"));
  });
  EngineDefinition blocked = state_.catalogue.engines[0];
  blocked.name = "limited";
  blocked.searchUrl = limited.Url("/offset0/search");
  blocked.cookieUrls.clear();
  state_.catalogue.engines.push_back(blocked);
  state_.suspensions.Suspend({"page1", kNoon + std::chrono::minutes(3), BlockKind::kHttpStatus, 429});

  frame_->ToggleThreadsWindow();
  CThreadsWindow* window = frame_->threadsWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(window->RowCount(), 3);
  EXPECT_EQ(window->Status(0), "Not Active");
  EXPECT_EQ(window->Status(1), "Suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(window->Ending(0), QString());

  ASSERT_TRUE(SearchFor("lantern"));
  EXPECT_EQ(window->Status(0), "Not Active");
  EXPECT_TRUE(window->Ending(0).endsWith(", done")) << window->Ending(0).toStdString();
  EXPECT_EQ(window->Status(1), "Suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(window->Ending(1), "0 results, 0 pages, suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(window->Status(2), "Suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(window->Ending(2), "0 results, 1 page, blocked (HTTP 429), suspended until 12:03");

  // The new suspension is kept in the install folder.
  EngineSuspensions saved;
  ASSERT_TRUE(LoadSuspensions(state_.SuspensionFile(), saved, kNoon).ok());
  ASSERT_NE(saved.Active("limited", kNoon), nullptr);
  EXPECT_EQ(saved.Active("limited", kNoon)->until, kNoon + std::chrono::minutes(3));

  // Opened again after the search, the window shows the same.
  frame_->ToggleThreadsWindow();
  frame_->ToggleThreadsWindow();
  window = frame_->threadsWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->Status(2), "Suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(window->Ending(2), "0 results, 1 page, blocked (HTTP 429), suspended until 12:03");
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace trovelane::ui
