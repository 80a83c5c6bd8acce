// CBannerWidget: the 60-pixel band at the top of the results view that shows
// the program's own banner, or the downloaded advertisements in turn.
//
// It owns the advertisement list and its download: StartDownload starts the
// download thread once (nothing happens for an empty list URL); destroying
// the widget cancels and joins that thread, then frees the images.
//
// Pictures are decoded by libQMIMGLib; QMGIFRender draws the current one
// into a pixel buffer the widget owns, which a QImage wraps without copying.
//
// Threads: everything here runs on the UI thread, except the download thread
// inside AdListDownload, which only appends to the list (under its lock).
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ad_list.h"
#include "search/settings.h"

struct tagQMGIFINITINFO;

namespace trovelane::ui {

inline constexpr int kBannerBandHeight = 60;
inline constexpr int kBannerRotationMs = 3000;

class CBannerWidget : public QWidget {
  Q_OBJECT

 public:
  // Opens an address; the default hands it to the desktop's URL handler.
  using Opener = std::function<void(const std::string& url)>;

  explicit CBannerWidget(QWidget* parent = nullptr);
  ~CBannerWidget() override;

  // UI thread: starts fetching the advertisement list from `listUrl` into
  // `folder` (its temporary files), through the proxy and with the time-outs
  // of `settings`, at most once per widget.
  void StartDownload(const std::string& listUrl, const NetworkSettings& settings,
                     const std::filesystem::path& folder);

  // One rotation step, as the 3-second timer runs it.
  void Tick();

  void SetOpener(Opener opener) { opener_ = std::move(opener); }

  AdList& adList() { return *adList_; }
  const tagQMGIFINITINFO* builtInImage() const { return builtIn_; }
  const tagQMGIFINITINFO* currentImage() const { return current_; }
  const std::string& clickUrl() const { return clickUrl_; }
  // Where the current picture was last drawn (left, top, w, 60); empty until then.
  QRect bannerRect() const { return bannerRect_; }
  bool hovering() const { return hover_; }

  // Where a w x h picture goes in a band `clientWidth` wide: centred, or
  // nowhere (an empty rectangle) when it is wider than the band or higher
  // than 60 pixels.
  static QRect PlaceBanner(int clientWidth, int width, int height);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void Show(tagQMGIFINITINFO* image, std::string clickUrl);
  void UpdateHover(const QPoint& position);

  // Shared with the download thread, which may outlive the widget when it is
  // stuck in name resolution; the download is ended first.
  std::shared_ptr<AdList> adList_;
  std::unique_ptr<AdListDownload> download_;

  tagQMGIFINITINFO* builtIn_ = nullptr;
  tagQMGIFINITINFO* current_ = nullptr;
  std::string clickUrl_;
  int32_t rotationIndex_ = 0;
  QRect bannerRect_;
  bool hover_ = false;

  // The current picture as 0xFFRRGGBB pixels, drawn by QMGIFRender when the
  // picture changes.
  std::vector<uint32_t> pixels_;
  const tagQMGIFINITINFO* renderedImage_ = nullptr;

  QTimer rotation_;
  Opener opener_;
};

}  // namespace trovelane::ui
