#include "ui/icons.h"

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <cmath>
#include <functional>

#include "platform/default_browser.h"

namespace trovelane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The scales a desktop commonly runs at; QIcon picks the nearest pixmap.
constexpr qreal kScales[] = {1.0, 1.25, 1.5, 1.75, 2.0, 3.0};

// An icon of `size` logical pixels drawn by `draw` in those coordinates, once
// per scale, so that no scaled screen sees a blurred enlargement.
QIcon PaintedIcon(int size, const std::function<void(QPainter&)>& draw) {
  QIcon icon;
  for (qreal scale : kScales) {
    const int pixels = static_cast<int>(std::lround(size * scale));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels / static_cast<qreal>(size), pixels / static_cast<qreal>(size));
    draw(p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon ThemeIcon(const char* name, const QIcon& fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), fallback);
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return ThemeIcon(name, QApplication::style()->standardIcon(fallback));
}

// The icon named by the browser's desktop entry first, then the theme's icon
// for web pages.
QIcon BrowserIcon() {
  BrowserInfo info = FindDefaultBrowser(BrowserLookup::FromEnvironment());
  if (!info.icon.empty()) {
    QIcon icon = QFileInfo(Q(info.icon)).isAbsolute() ? QIcon(Q(info.icon))
                                                      : QIcon::fromTheme(Q(info.icon));
    if (!icon.isNull()) return icon;
  }
  for (const char* name : {"text-html", "web-browser", "applications-internet"}) {
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (!icon.isNull()) return icon;
  }
  return {};
}

QIcon WizardIcon() {
  return PaintedIcon(20, [](QPainter& p) {
    p.setPen(QPen(QColor(70, 50, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 17), QPointF(12, 8));
    p.setPen(QPen(QColor(230, 170, 0), 1.5, Qt::SolidLine, Qt::RoundCap));
    const QPointF c(15, 5);
    for (int i = 0; i < 4; ++i) {
      const double a = i * M_PI / 4;
      const QPointF ray(4 * std::cos(a), 4 * std::sin(a));
      p.drawLine(c + ray, c - ray);
    }
  });
}

QIcon CopyIcon() {
  return PaintedIcon(16, [](QPainter& p) {
    p.setPen(QPen(QColor(60, 70, 90), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(1.5, 1.5, 8, 10));
    p.drawRect(QRectF(6.5, 4.5, 8, 10));
    p.setPen(QPen(QColor(40, 90, 200), 1));
    for (int y : {7, 9, 11}) p.drawLine(QPointF(8, y), QPointF(13, y));
  });
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 247, 250));
    p.drawRoundedRect(QRectF(4, 4, 32, 40), 3, 3);
    p.setBrush(QColor(120, 140, 170));
    for (int line = 0; line < 5; ++line) p.drawRect(QRectF(9, 10 + 6 * line, 20, 2.5));
    p.setPen(QPen(QColor(30, 90, 200), 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(QColor(200, 225, 255, 180));
    p.drawEllipse(QRectF(20, 18, 18, 18));
    p.drawLine(QPointF(36, 34), QPointF(44, 42));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap BusyIcon(int frame, qreal devicePixelRatio) {
  // A ring of four quarters; the lit quarter turns with the frames.
  constexpr int kFrames = 4;
  const int pixels = static_cast<int>(std::lround(32 * devicePixelRatio));
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(pixels / 32.0, pixels / 32.0);
  const QRectF ring(4, 4, 24, 24);
  for (int q = 0; q < kFrames; ++q) {
    const bool lit = q == (frame % kFrames);
    p.setPen(QPen(lit ? QColor(30, 90, 200) : QColor(190, 200, 215), 5, Qt::SolidLine, Qt::FlatCap));
    // Quarters clockwise from the top.
    p.drawArc(ring, (90 - 90 * q - 8) * 16, -74 * 16);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 90, 200));
  p.drawEllipse(QRectF(13, 13, 6, 6));
  p.end();
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

}  // namespace trovelane::ui
