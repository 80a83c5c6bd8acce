// The banner and the print commands inside the main window, against the
// sample engines on loopback.
#include <QAction>
#include <QMouseEvent>
#include <QPrinter>

#include "platform/command_output.h"
#include "tests/ui/ui_fixture.h"
#include "ui/banner.h"
#include "ui/print_commands.h"
#include "ui/results_view.h"

namespace trovelane::ui::testing {
namespace {

TEST_F(UiTest, PrintingIsAvailableExceptWhileASearchRuns) {
  const std::vector<QAction*> printing = {frame_->printAction, frame_->printPreviewAction,
                                          frame_->printSetupAction};
  for (QAction* a : printing) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();

  TypeAndEnter("lantern river");
  ASSERT_TRUE(frame_->IsSearching());
  for (QAction* a : printing) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  ASSERT_TRUE(WaitFor([this] { return !frame_->IsSearching(); }));
  for (QAction* a : printing) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();

  // What is printed is the window's document: its search text and its URLs.
  ::trovelane::testing::ScratchFolder folder;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  std::string pdf = folder.File("results.pdf");
  printer.setOutputFileName(QString::fromStdString(pdf));
  frame_->printCommands()->PrintTo(&printer);
  std::string text = CommandOutput({"pdftotext", pdf, "-"}, 60000).value_or("");
  const ResultsStore& store = frame_->document().results();
  ASSERT_GT(store.count(), 0);
  EXPECT_NE(text.find("Search Results for " + store.searchText()), std::string::npos);
  for (const ResultRecord& r : store.records()) {
    EXPECT_NE(text.find(std::string(r.url())), std::string::npos) << r.url();
  }
  EXPECT_TRUE(frame_->searchBar()->isVisible() || !frame_->isVisible());
}

TEST_F(UiTest, BannerFillsTheTopBandAndItsClickGoesThroughTheWindow) {
  frame_->resize(800, 600);
  frame_->show();
  CBannerWidget* banner = frame_->banner();
  ASSERT_NE(banner, nullptr);
  // The banner is placed when it is first drawn.
  ASSERT_TRUE(WaitFor([&] { return !banner->bannerRect().isEmpty(); }));
  QPoint bandTop = banner->mapTo(frame_->view(), QPoint(0, 0));
  EXPECT_EQ(bandTop.y(), 0);
  EXPECT_EQ(banner->height(), 60);
  EXPECT_EQ(frame_->view()->list()->mapTo(frame_->view(), QPoint(0, 0)).y(), 60);

  // The list URL is empty in this build: nothing is fetched, nothing written.
  frame_->StartBanner();
  EXPECT_EQ(banner->adList().count(), 0u);
  EXPECT_FALSE(std::filesystem::exists(home_.path() / kAdListFileName));

  QPoint centre = banner->bannerRect().center();
  QMouseEvent press(QEvent::MouseButtonPress, centre, banner->mapToGlobal(centre), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(banner, &press);
  EXPECT_EQ(opened_, std::vector<std::string>{"http://www.trovelane.example"});
}

}  // namespace
}  // namespace trovelane::ui::testing
