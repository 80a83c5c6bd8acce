#include "ui/print_commands.h"

#include <QAction>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QWidget>

#include "ui/results_printer.h"

namespace trovelane::ui {

PrintCommands::PrintCommands(QWidget* window, const CQuivmarkDoc& document, QWidget* searchBar,
                             QObject* parent)
    : QObject(parent),
      window_(window),
      document_(document),
      searchBar_(searchBar),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  printer_->setPageOrientation(QPageLayout::Landscape);
}

void PrintCommands::Connect(QAction* print, QAction* preview, QAction* setup) {
  connect(print, &QAction::triggered, this, &PrintCommands::Print);
  connect(preview, &QAction::triggered, this, &PrintCommands::PrintPreview);
  connect(setup, &QAction::triggered, this, &PrintCommands::PrintSetup);
}

void PrintCommands::PrintTo(QPrinter* printer) {
  const bool barShown = searchBar_ && searchBar_->isVisible();
  if (barShown) searchBar_->hide();
  CResultsPrinter results(document_.results());
  results.Print(printer);
  if (barShown) searchBar_->show();
}

void PrintCommands::Print() {
  QPrintDialog dialog(printer_.get(), window_);
  if (dialog.exec() != QDialog::Accepted) return;
  PrintTo(printer_.get());
}

void PrintCommands::PrintPreview() {
  QPrintPreviewDialog dialog(printer_.get(), window_);
  // The preview asks for the pages whenever it needs them drawn again.
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* printer) { PrintTo(printer); });
  dialog.exec();
}

void PrintCommands::PrintSetup() {
  QPageSetupDialog dialog(printer_.get(), window_);
  dialog.exec();
}

}  // namespace trovelane::ui
