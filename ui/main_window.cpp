#include "ui/main_window.h"

namespace trovelane::ui {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("trovelane"));
  setMinimumSize(500, 450);
}

}  // namespace trovelane::ui
