// The pictures of the desktop program: icons of the desktop's icon theme by
// their freedesktop names, and the program's own, drawn here, where the
// theme has none. Drawn icons carry a pixmap per common scale (1x to 3x), so
// they stay sharp on a screen scaled by 1.25, 1.5, 1.75 or 2; their disabled
// state is the style's greyed version of them.
//
// Threads: user-interface thread only (they need the application's style).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QStyle>

namespace trovelane::ui {

// The theme's icon `name`, else `fallback` (the program's own).
QIcon ThemeIcon(const char* name, const QIcon& fallback);
// The theme's icon `name`, else the style's standard picture.
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback);

// The icon of a result row: the default browser's, from its desktop entry or
// the theme; null when neither has one.
QIcon BrowserIcon();

// The Expression Wizard button's picture: a wand with a spark (20 pixels).
QIcon WizardIcon();
// Copy URL(s): two sheets, one over the other (16 pixels).
QIcon CopyIcon();
// The program's icon: a magnifying glass over a results list.
QIcon ProgramIcon();

// The four frames of the busy animation (index 0-3 for the icons 172-175),
// 32 pixels at the screen's `devicePixelRatio`.
QPixmap BusyIcon(int frame, qreal devicePixelRatio = 1.0);

}  // namespace trovelane::ui
