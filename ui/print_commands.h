// PrintCommands: the Print, Print Preview and Print Setup commands of the
// main window over the results printer. It keeps one QPrinter for the run,
// so the choices of Print Setup hold for the next print and preview. The
// search bar is hidden while a page is printed and shown again afterwards.
//
// The window enables the three actions, and disables them while a search
// runs: results still flow into the document then.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>
#include <QPrinter>
#include <functional>
#include <memory>

#include "results/results_document.h"

class QAction;
class QWidget;

namespace trovelane::ui {

class PrintCommands : public QObject {
  Q_OBJECT

 public:
  // `document` is read at each command (New and Open replace its content, not
  // the object); `window` parents the dialogs; `searchBar` may be null.
  PrintCommands(QWidget* window, const CQuivmarkDoc& document, QWidget* searchBar,
                QObject* parent = nullptr);

  // Runs the commands when the three actions are triggered.
  void Connect(QAction* print, QAction* preview, QAction* setup);

  void Print();
  void PrintPreview();
  void PrintSetup();

  // Prints the document on `printer` as the three commands do.
  void PrintTo(QPrinter* printer);

  QPrinter& printer() { return *printer_; }

 private:
  QWidget* window_;
  const CQuivmarkDoc& document_;
  QWidget* searchBar_;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace trovelane::ui
