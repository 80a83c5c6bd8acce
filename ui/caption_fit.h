// Window captions are drawn by the window manager in its title font and cut
// with "..." when the window is narrower than they are. A small dialog asks
// for at least the width its caption needs, with room for the title bar's
// icon and buttons.
//
// Threads: user-interface thread only.
#pragma once

#include <QFontDatabase>
#include <QFontMetrics>
#include <QWidget>
#include <algorithm>

namespace trovelane::ui {

// Room the title bar keeps beside the caption: the window icon and the
// close, maximise and minimise buttons of common window managers.
inline constexpr int kTitleBarButtonsWidth = 150;

inline int CaptionWidth(const QString& caption) {
  const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::TitleFont));
  return metrics.horizontalAdvance(caption) + kTitleBarButtonsWidth;
}

// Call after setWindowTitle.
inline void KeepCaptionWhole(QWidget* window) {
  window->setMinimumWidth(std::max(window->minimumWidth(), CaptionWidth(window->windowTitle())));
}

}  // namespace trovelane::ui
