// CMainFrame: the desktop program's main window.
#pragma once

#include <QMainWindow>

namespace trovelane::ui {

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(QWidget* parent = nullptr);
};

}  // namespace trovelane::ui
