#include "ui/results_view.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPainter>
#include <cstring>
#include <QMenu>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "results/html_export.h"

namespace trovelane::ui {
namespace {

QString Format(const char* format, int value) {
  return QString::fromUtf8(format).replace(QStringLiteral("%d"), QString::number(value));
}

}  // namespace

QString ElideWithDots(const QString& text, const QFontMetrics& metrics, int columnWidth) {
  const int room = columnWidth - 5;
  if (metrics.horizontalAdvance(text) <= room) return text;
  const QString dots = QStringLiteral("...");
  // The longest start of the text that fits with the dots after it.
  int low = 0;
  int high = static_cast<int>(text.size());
  while (low < high) {
    const int mid = (low + high + 1) / 2;
    if (metrics.horizontalAdvance(text.left(mid) + dots) <= room) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return text.left(low) + dots;
}

namespace {

// Draws the selection over the whole row with "Full Row Selection", else
// only over the first column (the text and its icon).
class CellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool fullRow = false;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem o(option);
    if (!fullRow && index.column() != kColumnText && (o.state & QStyle::State_Selected)) {
      // The table has already drawn its row panel selected under this cell:
      // cover it with the list's own background before drawing the cell.
      o.state &= ~QStyle::State_Selected;
      const bool alternate = o.features & QStyleOptionViewItem::Alternate;
      painter->fillRect(o.rect, o.palette.brush(alternate ? QPalette::AlternateBase : QPalette::Base));
    }
    initStyleOption(&o, index);
    // A selected cell takes the selection's text colour: link blue or
    // visited purple on the highlight cannot be read.
    if (o.state & QStyle::State_Selected) {
      o.palette.setBrush(QPalette::Text, o.palette.brush(QPalette::HighlightedText));
    }
    // A text wider than its column less 5 pixels ends in "...".
    const QStyle* style = o.widget ? o.widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &o, o.widget);
    o.text = ElideWithDots(o.text, o.fontMetrics, textRect.width() + 5);
    o.textElideMode = Qt::ElideNone;
    style->drawControl(QStyle::CE_ItemViewItem, &o, painter, o.widget);
  }
};

}  // namespace

CQuivmarkView::CQuivmarkView(CQuivmarkDoc& document, ViewHost& host, QWidget* parent)
    : QWidget(parent), host_(host), document_(&document) {
  model_ = new ResultsModel(document, this);

  bannerBand_ = new QWidget(this);
  bannerBand_->setObjectName(QStringLiteral("bannerBand"));
  bannerBand_->setFixedHeight(kBannerHeight);
  auto* bannerLayout = new QVBoxLayout(bannerBand_);
  bannerLayout->setContentsMargins(0, 0, 0, 0);

  list_ = new QTableView(this);
  list_->setObjectName(QStringLiteral("resultsList"));
  list_->setModel(model_);
  list_->setItemDelegate(new CellDelegate(list_));
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setTextElideMode(Qt::ElideRight);
  list_->setWordWrap(false);
  list_->setShowGrid(false);
  list_->setIconSize(QSize(16, 16));
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  list_->horizontalHeader()->setHighlightSections(false);
  list_->horizontalHeader()->setSectionsClickable(true);
  list_->horizontalHeader()->setSortIndicatorShown(false);
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < kColumnCount; ++c) list_->setColumnWidth(c, kColumnInitialWidths[c]);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->viewport()->installEventFilter(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(bannerBand_);
  layout->addWidget(list_, 1);

  auto make = [this](const char* text, QKeySequence key, void (CQuivmarkView::*slot)()) {
    auto* a = new QAction(QString::fromUtf8(text), this);
    if (!key.isEmpty()) a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, slot);
    addAction(a);
    return a;
  };
  launchAction = make("&Launch in Browser", QKeySequence(Qt::CTRL | Qt::Key_L), &CQuivmarkView::Launch);
  launchNewAction = make("Launch in New &Browser Window",
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L),
                         &CQuivmarkView::LaunchInNewWindow);
  copyAction = make("&Copy URL(s)", QKeySequence(Qt::CTRL | Qt::Key_C), &CQuivmarkView::CopyUrls);
  deleteAction = make("&Delete Item(s)", QKeySequence(Qt::Key_Delete), &CQuivmarkView::DeleteSelected);
  deleteAllAction = make("Delete All", {}, &CQuivmarkView::DeleteAll);
  markAction = make("&Mark", QKeySequence(Qt::CTRL | Qt::Key_M), &CQuivmarkView::MarkSelected);
  unmarkAction = make("&Unmark", QKeySequence(Qt::CTRL | Qt::Key_U), &CQuivmarkView::UnmarkSelected);
  validateAction = make("&Validate", {}, &CQuivmarkView::ValidateSelected);
  selectAllAction = make("Select All", QKeySequence(Qt::CTRL | Qt::Key_A), &CQuivmarkView::SelectAll);
  saveAsHtmlAction = make("&Save as HTML...", {}, &CQuivmarkView::SaveAsHtml);
  copyAction->setStatusTip(QStringLiteral("Copy the selected URLs to the clipboard"));
  deleteAction->setStatusTip(QStringLiteral("Delete the selected results"));
  deleteAllAction->setStatusTip(QStringLiteral("Delete every result"));

  connect(list_, &QAbstractItemView::doubleClicked, this, [this] { Launch(); });
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &CQuivmarkView::SortByColumn);
  connect(list_, &QWidget::customContextMenuRequested, this, &CQuivmarkView::ShowContextMenu);
}

CQuivmarkView::~CQuivmarkView() { CancelValidations(); }

void CQuivmarkView::SetBannerWidget(QWidget* banner) {
  banner->setParent(bannerBand_);
  bannerBand_->layout()->addWidget(banner);
}

void CQuivmarkView::ApplyViewOptions(const ViewOptions& options) {
  static_cast<CellDelegate*>(list_->itemDelegate())->fullRow = options.fullRowSelect != 0;
  list_->setShowGrid(options.gridLines != 0);
  model_->SetToolTips(options.toolTips != 0);
  list_->viewport()->update();
}

std::vector<int> CQuivmarkView::ColumnWidthsFor(int width) const {
  const QFontMetrics metrics(list_->horizontalHeader()->font());
  // The header text plus the header's own margins, so that the text shows whole.
  const int margins = 2 * list_->style()->pixelMetric(QStyle::PM_HeaderMargin) + 2;
  const int limit = static_cast<int>(0.2 * width);
  const int a = std::min(metrics.horizontalAdvance(QStringLiteral("Search Engine")) + margins, limit);
  const int b = std::min(metrics.horizontalAdvance(QStringLiteral("Relevance")) + margins, limit);
  const int half = std::max(0, (width - a - b) / 2);
  return {half, a, b, half};
}

// The columns follow the list's width: its viewport changes with the view
// and when a vertical scroll bar comes or goes.
bool CQuivmarkView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Resize && !window()->isMinimized()) {
    const std::vector<int> widths = ColumnWidthsFor(list_->viewport()->width());
    for (int c = 0; c < kColumnCount; ++c) list_->setColumnWidth(c, widths[c]);
  }
  return QWidget::eventFilter(watched, event);
}

std::vector<int> CQuivmarkView::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : list_->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void CQuivmarkView::SelectRows(const std::vector<int>& rows) {
  QItemSelection selection;
  for (int row : rows) {
    selection.select(model_->index(row, 0), model_->index(row, kColumnCount - 1));
  }
  list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void CQuivmarkView::OnSearchResult(const ResultHandoff& result) {
  const int n = model_->rowCount();
  // The first result of a search gives the document its search text.
  if (n == 0) document_->results().SetSearchText(host_.GetSearchExpressionText().toStdString());
  model_->Append(result.url, result.title, result.engineName,
                 result.validated == 1 ? kValidatedReachable : kNotValidated,
                 static_cast<int16_t>(result.relevance & 0xFFFF));
  ++searchResults_;
}

void CQuivmarkView::OnDocumentReplaced() {
  searchResults_ = 0;
  searchNumbering_ = true;
  CancelValidations();
  model_->Rebuild();
  ApplySortArrow();
}

void CQuivmarkView::ApplySortArrow() {
  QHeaderView* header = list_->horizontalHeader();
  const SortState state = document_->results().GetSortState();
  if (state.column < 0) {
    header->setSortIndicatorShown(false);
    return;
  }
  header->setSortIndicatorShown(true);
  header->setSortIndicator(state.column,
                           state.direction == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
  // The arrow takes room beside the caption: the sorted column is widened
  // until both fit, so the arrow never covers the caption's end.
  const int needed = header->sectionSizeHint(state.column);
  if (header->sectionSize(state.column) < needed) header->resizeSection(state.column, needed);
}

bool CQuivmarkView::ConfirmLaunch(int count) {
  return count < kLaunchAskFrom ||
         host_.Prompts().YesNo(window(), Format(kLaunchManyQuestion, count));
}

void CQuivmarkView::Launch() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  if (rows.size() == 1) {
    const int row = rows.front();
    model_->SetOpened(row, true);
    host_.LaunchInBrowser(std::string(document_->results().record(row).url()));
    return;
  }
  LaunchInNewWindow();
}

void CQuivmarkView::LaunchInNewWindow() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty() || !ConfirmLaunch(static_cast<int>(rows.size()))) return;
  for (int row : rows) {
    model_->SetOpened(row, true);
    host_.LaunchInNewBrowserWindow(std::string(document_->results().record(row).url()));
  }
}

void CQuivmarkView::CopyUrls() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  std::string text;
  for (int row : rows) {
    text += document_->results().record(row).url();
    text += "\r\n";
  }
  QApplication::clipboard()->setText(QString::fromStdString(text));
}

void CQuivmarkView::DeleteSelected() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  const QString question = rows.size() == 1 ? QString::fromUtf8(kDeleteOneQuestion)
                                            : Format(kDeleteManyQuestion, static_cast<int>(rows.size()));
  if (!host_.Prompts().YesNo(window(), question)) return;
  list_->setUpdatesEnabled(false);
  // Each removal moves the rows behind it up by one: the i-th index of the
  // ascending list is record index - i by then.
  for (size_t i = 0; i < rows.size(); ++i) model_->Remove(rows[i] - static_cast<int>(i));
  list_->setUpdatesEnabled(true);
  list_->clearSelection();
  document_->SetModifiedFlag();
  host_.ResultsDeleted(model_->rowCount());
}

void CQuivmarkView::DeleteAll() {
  if (model_->rowCount() == 0) return;
  document_->OnNewDocument();
  OnDocumentReplaced();
  // Results a running search hands over from now on are numbered from 0
  // again in the store, but not in the search.
  searchNumbering_ = !host_.IsSearching();
  document_->SetModifiedFlag();
  host_.DocumentEmptied();
}

void CQuivmarkView::MarkSelected() {
  for (int row : SelectedRows()) model_->SetOpened(row, true);
}

void CQuivmarkView::UnmarkSelected() {
  for (int row : SelectedRows()) model_->SetOpened(row, false);
}

void CQuivmarkView::SelectAll() {
  list_->setFocus();
  list_->selectAll();
}

void CQuivmarkView::SortByColumn(int column) {
  if (model_->Sort(column) < 0) return;
  ApplySortArrow();
}

void CQuivmarkView::ShowInOrder(const std::vector<size_t>& order) {
  model_->Reorder(order);
  ApplySortArrow();
}

void CQuivmarkView::ShowInArrivalOrder() {
  model_->SortByArrival();
  ApplySortArrow();
}

bool CQuivmarkView::RowsFromLastSearch() const {
  return searchNumbering_ && searchResults_ > 0 &&
         searchResults_ == document_->results().arrivals();
}

void CQuivmarkView::SaveAsHtml() {
  // A saved document's title is its file name: the page is offered as
  // NAME.htm beside it, not NAME.qmk.htm.
  QString name = QString::fromStdString(document_->title());
  if (name.endsWith(QString::fromLatin1(kDocumentExtension))) {
    name.chop(static_cast<int>(std::strlen(kDocumentExtension)));
  }
  QString path = host_.Prompts().SaveFileName(
      window(), {.caption = QStringLiteral("Save as HTML"),
                 .initialName = name + ".htm",
                 .filter = QStringLiteral("HTML Files (*.htm *.html)")});
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".htm";
  Status written = ExportResultsHtml(document_->results(), path.toStdString());
  if (!written.ok()) host_.Prompts().Inform(window(), QString::fromStdString(written.message()));
}

void CQuivmarkView::ShowContextMenu(const QPoint& at) {
  if (SelectedRows().empty()) return;
  QMenu menu(QStringLiteral("&Actions1"), this);
  menu.addAction(launchAction);
  menu.addAction(launchNewAction);
  menu.addSeparator();
  menu.addAction(copyAction);
  menu.addAction(deleteAction);
  menu.addSeparator();
  menu.addAction(markAction);
  menu.addAction(unmarkAction);
  menu.addAction(validateAction);
  menu.addSeparator();
  menu.addAction(selectAllAction);
  menu.exec(list_->viewport()->mapToGlobal(at));
}

void CQuivmarkView::ValidateSelected() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  const SearchExpression* expression = host_.ValidationExpression();
  if (!expression) return;
  for (int row : rows) {
    const ResultRecord& record = document_->results().record(row);
    std::string url(record.url());
    if (rows.size() == 1 && record.validationState != kNotValidated && record.relevance > 0 &&
        !host_.Prompts().YesNo(
            window(),
            QString::fromUtf8(kValidateAgainQuestion).replace("%s", QString::fromStdString(url)))) {
      continue;
    }
    const int id = nextValidationId_++;
    // Runs on the validation thread: post the outcome to this thread. The
    // view cancels the check before it goes away, and a cancelled check
    // never gets here, so `this` is alive whenever this runs.
    auto done = [this, id](const RowValidation::Outcome& outcome) {
      QMetaObject::invokeMethod(
          this, [this, id, outcome] { OnValidationDone(id, outcome.reachable, outcome.relevance); },
          Qt::QueuedConnection);
    };
    model_->SetValidating(url, true);
    validations_[id] = Check{nullptr, row, url};
    validations_[id].job = RowValidation::Start(url, *expression, host_.Settings(), done);
  }
}

// User-interface thread.
void CQuivmarkView::OnValidationDone(int id, bool reachable, int relevance) {
  auto it = validations_.find(id);
  if (it == validations_.end()) return;  // cancelled meanwhile
  const Check check = std::move(it->second);
  validations_.erase(it);
  model_->SetValidating(check.url, false);
  // The row may have been deleted or the list re-sorted meanwhile: only a
  // row that still holds the same URL takes the outcome.
  if (check.row < model_->rowCount() && document_->results().record(check.row).url() == check.url) {
    model_->SetValidation(check.row, reachable, relevance);
  }
  emit validationFinished();
}

void CQuivmarkView::CancelValidations() {
  for (auto& [id, check] : validations_) {
    if (check.job) check.job->Cancel();
  }
  validations_.clear();
}

}  // namespace trovelane::ui
