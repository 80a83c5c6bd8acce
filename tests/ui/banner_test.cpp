#include "ui/banner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <chrono>
#include <thread>

#include "gif/qmimglib.h"
#include "tests/support/gif_encoder.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scratch_folder.h"
#include "tests/ui/qt_app.h"

namespace trovelane::ui {
namespace {

// A one-colour picture, decoded by the library the banner uses.
tagQMGIFINITINFO* SolidGif(int width, int height, test::GifColor color) {
  test::GifImageOptions image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width * height), 1);
  test::Bytes bytes =
      test::GifBuilder(width, height).GlobalTable({{0, 0, 0}, color}).Image(image).Finish();
  return QMGIFInit(bytes.data(), static_cast<int>(bytes.size()));
}

std::string SolidGifBytes(int width, int height, test::GifColor color) {
  test::GifImageOptions image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width * height), 1);
  test::Bytes bytes =
      test::GifBuilder(width, height).GlobalTable({{0, 0, 0}, color}).Image(image).Finish();
  return std::string(bytes.begin(), bytes.end());
}

void Move(QWidget& widget, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&widget, &move);
}

void Click(QWidget& widget, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &press);
}

TEST(BannerTest, BuiltInBannerIsCentredAndDrawn) {
  CBannerWidget banner;
  ASSERT_NE(banner.builtInImage(), nullptr);
  EXPECT_EQ(banner.builtInImage()->bitmapInfo->width, 468);
  EXPECT_EQ(-banner.builtInImage()->bitmapInfo->height, 60);
  EXPECT_EQ(banner.currentImage(), banner.builtInImage());

  banner.resize(600, kBannerBandHeight);
  QImage shot = banner.grab().toImage();
  EXPECT_EQ(banner.bannerRect(), QRect(66, 0, 468, 60));

  // What was drawn is the decoded picture, pixel for pixel.
  const tagQMGIFINITINFO* info = banner.builtInImage();
  const QMRgbQuad* colours = QMBitmapColors(info->bitmapInfo);
  for (QPoint p : {QPoint(0, 0), QPoint(100, 30), QPoint(467, 59)}) {
    uint8_t index = info->bits[p.y() * QMBitmapStride(info->bitmapInfo) + p.x()];
    QRgb expected = qRgb(colours[index].red, colours[index].green, colours[index].blue);
    EXPECT_EQ(shot.pixel(p + QPoint(66, 0)), expected) << p.x() << "," << p.y();
  }
}

TEST(BannerTest, PicturesThatDoNotFitAreNotPlaced) {
  EXPECT_EQ(CBannerWidget::PlaceBanner(600, 468, 60), QRect(66, 0, 468, 60));
  EXPECT_EQ(CBannerWidget::PlaceBanner(401, 100, 21), QRect(150, 19, 100, 60));
  EXPECT_TRUE(CBannerWidget::PlaceBanner(400, 500, 60).isEmpty());
  EXPECT_TRUE(CBannerWidget::PlaceBanner(600, 468, 80).isEmpty());
  EXPECT_FALSE(CBannerWidget::PlaceBanner(468, 468, 60).isEmpty());
}

TEST(BannerTest, TicksRotateThroughTheAdvertisementsAndTheBandIsRedrawn) {
  CBannerWidget banner;
  banner.resize(600, kBannerBandHeight);
  banner.Tick();
  EXPECT_EQ(banner.currentImage(), banner.builtInImage());  // no advertisements yet

  tagQMGIFINITINFO* red = SolidGif(100, 40, {255, 0, 0});
  tagQMGIFINITINFO* green = SolidGif(100, 40, {0, 255, 0});
  banner.adList().Append({"a", "http://a.example/", red});
  banner.adList().Append({"b", "http://b.example/", green});
  std::vector<std::string> clicks;
  for (int i = 0; i < 4; ++i) {
    banner.Tick();
    clicks.push_back(banner.clickUrl());
  }
  EXPECT_EQ(clicks, (std::vector<std::string>{"http://a.example/", "http://b.example/",
                                               "http://a.example/", "http://b.example/"}));
  // Showing green now; the next tick shows red, and a redraw shows it too.
  banner.Tick();
  QImage shot = banner.grab().toImage();
  EXPECT_EQ(banner.bannerRect(), QRect(250, 10, 100, 60));
  EXPECT_EQ(shot.pixel(300, 30), qRgb(255, 0, 0));
}

TEST(BannerTest, HandCursorOverThePictureAndClickOpensItsAddress) {
  CBannerWidget banner;
  std::vector<std::string> opened;
  banner.SetOpener([&](const std::string& url) { opened.push_back(url); });
  banner.resize(600, kBannerBandHeight);
  banner.grab();  // draws, and so places the banner

  Move(banner, {10, 30});
  EXPECT_FALSE(banner.hovering());
  EXPECT_EQ(banner.cursor().shape(), Qt::ArrowCursor);
  Move(banner, {300, 30});
  EXPECT_TRUE(banner.hovering());
  EXPECT_EQ(banner.cursor().shape(), Qt::PointingHandCursor);
  Move(banner, {590, 30});
  EXPECT_EQ(banner.cursor().shape(), Qt::ArrowCursor);

  Click(banner, {10, 30});
  EXPECT_TRUE(opened.empty());
  Click(banner, {300, 30});
  EXPECT_EQ(opened, std::vector<std::string>{"http://www.trovelane.example"});
}

TEST(BannerTest, AdvertisementWithoutPictureShowsNothingAndIgnoresClicks) {
  CBannerWidget banner;
  std::vector<std::string> opened;
  banner.SetOpener([&](const std::string& url) { opened.push_back(url); });
  banner.resize(600, kBannerBandHeight);
  banner.adList().Append({"a", "http://a.example/", nullptr});
  banner.Tick();
  QImage shot = banner.grab().toImage();
  EXPECT_EQ(banner.currentImage(), nullptr);
  Click(banner, {300, 30});
  EXPECT_TRUE(opened.empty());
}

// The whole road: the list and its picture come from a server on loopback.
TEST(BannerTest, DownloadedAdvertisementIsShownAfterTheNextTick) {
  trovelane::testing::ScratchFolder folder;
  std::string gif = SolidGifBytes(200, 50, {0, 0, 255});
  std::string list;
  test::LoopbackServer server([&](test::ServerConnection& c) {
    std::string request = c.ReadRequest();
    std::string body = request.find("GET /ads.txt") == 0 ? list : gif;
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body);
  });
  list = server.Url("/blue.gif") + " http://blue.example/\n";

  CBannerWidget banner;
  banner.resize(600, kBannerBandHeight);
  banner.StartDownload(server.Url("/ads.txt"), NetworkSettings{}, folder.path());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (banner.adList().count() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(banner.adList().count(), 1u);
  banner.Tick();
  EXPECT_EQ(banner.clickUrl(), "http://blue.example/");
  QImage shot = banner.grab().toImage();
  EXPECT_EQ(shot.pixel(300, 30), qRgb(0, 0, 255));
}

}  // namespace
}  // namespace trovelane::ui
