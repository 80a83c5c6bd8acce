// trovelane: the desktop program over the trovelane core.
#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  trovelane::ui::CMainFrame window;
  window.show();
  return app.exec();
}
