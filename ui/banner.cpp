#include "ui/banner.h"

#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "gif/qmimglib.h"
#include "platform/browser_launch.h"
#include "results/html_export.h"

// Resources compiled into a static library must be registered by hand.
static void InitBannerResources() { Q_INIT_RESOURCE(banner); }

namespace trovelane::ui {

namespace {

tagQMGIFINITINFO* DecodeBuiltInBanner() {
  InitBannerResources();
  QFile file(":/trovelane/banner.gif");
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  QByteArray bytes = file.readAll();
  return QMGIFInit(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
}

AdImageCodec GifCodec() {
  return {[](const char* path) { return QMGIFInit(path); },
          [](tagQMGIFINITINFO* info) { QMGIFCleanup(info); }};
}

}  // namespace

CBannerWidget::CBannerWidget(QWidget* parent)
    : QWidget(parent), adList_(std::make_shared<AdList>(GifCodec())) {
  setFixedHeight(kBannerBandHeight);
  setMouseTracking(true);
  setAutoFillBackground(true);
  opener_ = [](const std::string& url) { OpenUrlWithDesktop(url); };
  builtIn_ = DecodeBuiltInBanner();
  Show(builtIn_, kProductWebAddress);
  rotation_.setInterval(kBannerRotationMs);
  connect(&rotation_, &QTimer::timeout, this, &CBannerWidget::Tick);
  rotation_.start();
}

CBannerWidget::~CBannerWidget() {
  download_.reset();
  adList_.reset();
  if (builtIn_) QMGIFCleanup(builtIn_);
}

void CBannerWidget::StartDownload(const std::string& listUrl, const NetworkSettings& settings,
                                  const std::filesystem::path& folder) {
  if (download_) return;
  download_ = std::make_unique<AdListDownload>(adList_, listUrl, settings, folder);
}

void CBannerWidget::Show(tagQMGIFINITINFO* image, std::string clickUrl) {
  current_ = image;
  clickUrl_ = std::move(clickUrl);
}

// UI thread, every 3 s.
void CBannerWidget::Tick() {
  std::optional<AdList::Shown> shown = adList_->Rotate(rotationIndex_);
  if (!shown) {
    Show(builtIn_, kProductWebAddress);
  } else {
    rotationIndex_ = shown->nextIndex;
    Show(shown->image, shown->clickUrl);
  }
  update(0, 0, width(), kBannerBandHeight);
}

QRect CBannerWidget::PlaceBanner(int clientWidth, int width, int height) {
  if (width > clientWidth || height > kBannerBandHeight) return {};
  int left = (clientWidth - width) / 2;
  int top = (kBannerBandHeight - height) / 2;
  return QRect(left, top, width, kBannerBandHeight);
}

void CBannerWidget::paintEvent(QPaintEvent*) {
  if (!current_) return;
  int width = current_->bitmapInfo->width;
  int height = -current_->bitmapInfo->height;
  QRect place = PlaceBanner(this->width(), width, height);
  if (place.isEmpty()) return;
  bannerRect_ = place;
  if (renderedImage_ != current_) {
    pixels_.assign(static_cast<size_t>(width) * height, 0xFFFFFFFFu);
    QMPixelBuffer target{pixels_.data(), width, height, width * 4};
    QMGIFRender(current_, &target, QMRect{0, 0, width, height});
    renderedImage_ = current_;
  }
  QImage image(reinterpret_cast<const uchar*>(pixels_.data()), width, height, width * 4,
               QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(place.topLeft(), image);
}

void CBannerWidget::UpdateHover(const QPoint& position) {
  bool inside = current_ && bannerRect_.contains(position);
  if (inside && !hover_) {
    setCursor(Qt::PointingHandCursor);
    hover_ = true;
  } else if (!inside && hover_) {
    unsetCursor();
    hover_ = false;
  }
}

void CBannerWidget::mouseMoveEvent(QMouseEvent* event) {
  UpdateHover(event->position().toPoint());
  QWidget::mouseMoveEvent(event);
}

void CBannerWidget::leaveEvent(QEvent* event) {
  if (hover_) {
    unsetCursor();
    hover_ = false;
  }
  QWidget::leaveEvent(event);
}

void CBannerWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && current_ &&
      bannerRect_.contains(event->position().toPoint()) && opener_) {
    opener_(clickUrl_);
  }
  QWidget::mousePressEvent(event);
}

}  // namespace trovelane::ui
