#include "ui/threads_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace trovelane::ui {

CThreadsWindow::CThreadsWindow(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QString::fromUtf8(kThreadsWindowCaption));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
  auto* caption = new QLabel(QStringLiteral("Search Threads..."), this);

  list_ = new QTableWidget(0, 3, this);
  list_->setObjectName(QStringLiteral("threadsList"));
  list_->setHorizontalHeaderLabels(
      {QStringLiteral("Search Engine"), QStringLiteral("Status"), QStringLiteral("Last Search")});
  // 85 pixels, or what the header's text needs in the desktop's font, so
  // that "Search Engine" is never cut.
  list_->setColumnWidth(0, std::max(85, list_->horizontalHeader()->sectionSizeHint(0)));
  // Room for "Suspended until HH:MM (CAPTCHA)"; a longer text is elided and
  // shown whole in its tool tip.
  list_->setColumnWidth(1, 225);
  list_->setColumnWidth(2, 240);
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(caption, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  resize(620, 240);
}

void CThreadsWindow::AddThreadRow(const QString& engineName, const QString& status,
                                  const QString& ending) {
  const int row = list_->rowCount();
  list_->insertRow(row);
  list_->setItem(row, 0, new QTableWidgetItem(engineName));
  list_->item(row, 0)->setToolTip(engineName);
  list_->setItem(row, 1, new QTableWidgetItem(status));
  list_->item(row, 1)->setToolTip(status);
  list_->setItem(row, 2, new QTableWidgetItem(ending));
  // A text longer than its column is elided; its tool tip shows it whole.
  list_->item(row, 2)->setToolTip(ending);
}

void CThreadsWindow::ClearRows() { list_->setRowCount(0); }

void CThreadsWindow::FitNameColumn() {
  const int header = list_->horizontalHeader()->sectionSizeHint(0);
  const int names = static_cast<QAbstractItemView*>(list_)->sizeHintForColumn(0);
  list_->setColumnWidth(0, std::clamp(std::max(header, names), 85, 220));
}

void CThreadsWindow::SetThreadEnding(int row, const QString& text) {
  if (row < 0 || row >= list_->rowCount()) return;
  if (list_->item(row, 2)->text() == text) return;
  list_->item(row, 2)->setText(text);
  list_->item(row, 2)->setToolTip(text);
  list_->viewport()->update();
}

QString CThreadsWindow::Ending(int row) const {
  return row >= 0 && row < list_->rowCount() ? list_->item(row, 2)->text() : QString();
}

void CThreadsWindow::SetThreadStatus(int row, const QString& text) {
  if (row < 0 || row >= list_->rowCount()) return;
  list_->item(row, 1)->setText(text);
  list_->item(row, 1)->setToolTip(text);
  list_->viewport()->repaint();
}

void CThreadsWindow::SelectThreadRow(int row) {
  if (row < 0 || row >= list_->rowCount()) return;
  list_->selectRow(row);
  list_->scrollToItem(list_->item(row, 0));
  list_->viewport()->repaint();
}

int CThreadsWindow::RowCount() const { return list_->rowCount(); }

QString CThreadsWindow::EngineName(int row) const {
  return row >= 0 && row < list_->rowCount() ? list_->item(row, 0)->text() : QString();
}

QString CThreadsWindow::Status(int row) const {
  return row >= 0 && row < list_->rowCount() ? list_->item(row, 1)->text() : QString();
}

// The close button (through QDialog::closeEvent) and Escape both end here.
void CThreadsWindow::reject() {
  QDialog::reject();
  emit closed();
}

}  // namespace trovelane::ui
