#include "ui/results_model.h"

#include <QGuiApplication>
#include <QPalette>

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "results/html_export.h"
#include "search/watch.h"

namespace trovelane::ui {
namespace {

constexpr int kIconSize = 16;

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QColor LinkColour(const QPalette& palette, bool opened) {
  const bool dark = palette.color(QPalette::Base).lightness() < 128;
  if (dark) return opened ? kDarkOpenedColour : kDarkUrlColour;
  return opened ? kOpenedColour : kUrlColour;
}

QIcon DrawFallbackBrowserIcon() {
  // A small globe: a blue disc with a meridian and two parallels.
  QPixmap pixmap(kIconSize, kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 60, 140), 1));
  p.setBrush(QColor(90, 150, 230));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(230, 240, 255), 1));
  p.drawEllipse(QRectF(5.5, 1.5, 5, 13));
  p.drawLine(QPointF(2, 8), QPointF(14, 8));
  p.drawLine(QPointF(3, 5), QPointF(13, 5));
  p.drawLine(QPointF(3, 11), QPointF(13, 11));
  return QIcon(pixmap);
}

QIcon DrawOverlayIcon(const QIcon& base, int overlay) {
  QPixmap pixmap(kIconSize, kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  base.paint(&p, QRect(0, 0, kIconSize, kIconSize));
  if (overlay == kOverlayNone) return QIcon(pixmap);
  // The overlay sits in the lower right quarter on a white badge.
  const QRectF badge(7, 7, 9, 9);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(overlay == kOverlayReachable     ? QColor(0, 150, 0)
             : overlay == kOverlayUnreachable ? QColor(200, 0, 0)
                                              : QColor(230, 160, 0));
  p.drawEllipse(badge);
  p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  if (overlay == kOverlayReachable) {
    // A tick.
    QPainterPath tick;
    tick.moveTo(9.2, 11.6);
    tick.lineTo(11, 13.4);
    tick.lineTo(13.8, 9.6);
    p.drawPath(tick);
  } else if (overlay == kOverlayUnreachable) {
    // A cross.
    p.drawLine(QPointF(9.6, 9.6), QPointF(13.4, 13.4));
    p.drawLine(QPointF(13.4, 9.6), QPointF(9.6, 13.4));
  } else {
    // Clock hands: a check is running.
    p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11.5, 11.5), QPointF(11.5, 8.8));
    p.drawLine(QPointF(11.5, 11.5), QPointF(13.6, 11.5));
  }
  return QIcon(pixmap);
}

ResultsModel::ResultsModel(CQuivmarkDoc& document, QObject* parent)
    : QAbstractTableModel(parent), document_(&document) {
  SetBaseIcon(DrawFallbackBrowserIcon());
}

void ResultsModel::SetBaseIcon(const QIcon& icon) {
  const QIcon base = icon.isNull() ? DrawFallbackBrowserIcon() : icon;
  for (int overlay = 0; overlay < 4; ++overlay) icons_[overlay] = DrawOverlayIcon(base, overlay);
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void ResultsModel::SetDocument(CQuivmarkDoc& document) {
  beginResetModel();
  document_ = &document;
  validating_.clear();
  scored_.clear();
  endResetModel();
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : document_->results().count();
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

int ResultsModel::Overlay(int row) const {
  const ResultRecord& r = document_->results().record(row);
  if (validating_.count(std::string(r.url())) != 0) return kOverlayValidating;
  if (r.validationState == kValidatedReachable) return kOverlayReachable;
  if (r.validationState == kValidatedUnreachable) return kOverlayUnreachable;
  return kOverlayNone;
}

bool ApplyWatchStyle(QFont& font, const ResultRecord& record) {
  const RecordWatch* watch = record.watch();
  if (watch == nullptr) return false;
  if (watch->state == WatchState::kNew) {
    font.setBold(true);
    return true;
  }
  if (watch->state == WatchState::kDead) {
    font.setStrikeOut(true);
    return true;
  }
  return false;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ResultRecord& r = document_->results().record(index.row());
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
      if (role == Qt::ToolTipRole && !toolTips_) return {};
      switch (column) {
        case kColumnText: {
          // Shown without the blanks around it; the store keeps the text as
          // it was handed over.
          return Text(r.text()).trimmed();
        }
        case kColumnEngine:
          return Text(r.engineName());
        case kColumnRelevance:
          // A score this session's validation gave is shown even when it is
          // 0; the stored record cannot tell 0 from "no score".
          if (r.relevance <= 0 && scored_.count(std::string(r.url()))) return QStringLiteral("0%");
          return QString::fromStdString(RelevanceText(r.relevance));
        case kColumnUrl:
          return Text(r.url());
      }
      return {};
    }
    case Qt::DecorationRole:
      if (column == kColumnText) return icons_[Overlay(index.row())];
      return {};
    case Qt::ForegroundRole:
      if (r.opened) return QBrush(LinkColour(QGuiApplication::palette(), true));
      if (column == kColumnUrl) return QBrush(LinkColour(QGuiApplication::palette(), false));
      return {};
    case Qt::FontRole: {
      QFont font;
      if (column == kColumnUrl) font.setUnderline(true);
      if (!ApplyWatchStyle(font, r) && column != kColumnUrl) return {};
      return font;
    }
    default:
      return {};
  }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnHeaders[section]);
  return {};
}

void ResultsModel::RowChanged(int row) {
  emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void ResultsModel::Append(std::string_view url, std::string_view text, std::string_view engineName,
                          uint16_t validationState, int16_t relevance) {
  const int row = rowCount();
  beginInsertRows({}, row, row);
  store().AppendResult(url, text, engineName, 0, validationState, relevance);
  endInsertRows();
  document_->SetModifiedFlag();
}

bool ResultsModel::Remove(int row) {
  if (row < 0 || row >= rowCount()) return false;
  beginRemoveRows({}, row, row);
  store().RemoveResult(row);
  endRemoveRows();
  document_->SetModifiedFlag();
  return true;
}

int ResultsModel::Sort(int column) {
  beginResetModel();
  const int direction = store().SortByColumn(column);
  endResetModel();
  return direction;
}

void ResultsModel::Reorder(const std::vector<size_t>& order) {
  beginResetModel();
  store().Reorder(order);
  endResetModel();
}

void ResultsModel::SortByArrival() {
  beginResetModel();
  store().SortByArrival();
  endResetModel();
}

void ResultsModel::Rebuild() {
  beginResetModel();
  validating_.clear();
  scored_.clear();
  endResetModel();
}

void ResultsModel::TakeWatch(const ResultsStore& watched, int32_t arrivalsBefore) {
  int added = 0;
  for (const ResultRecord& r : watched.records()) added += r.arrival >= arrivalsBefore ? 1 : 0;
  const int first = rowCount();
  if (added > 0) beginInsertRows({}, first, first + added - 1);
  MergeWatchedCopy(store(), watched, arrivalsBefore);
  if (added > 0) endInsertRows();
  if (first > 0) emit dataChanged(index(0, 0), index(first - 1, kColumnCount - 1));
  document_->SetModifiedFlag();
}

void ResultsModel::SetOpened(int row, bool opened) {
  if (row < 0 || row >= rowCount()) return;
  store().record(row).opened = opened ? 1 : 0;
  document_->SetModifiedFlag();
  RowChanged(row);
}

void ResultsModel::SetValidation(int row, bool reachable, int relevance) {
  if (row < 0 || row >= rowCount()) return;
  ResultRecord& r = store().record(row);
  r.validationState = reachable ? kValidatedReachable : kValidatedUnreachable;
  // The record keeps 16 bits of the score; a negative one reads as 0.
  const auto kept = static_cast<int16_t>(relevance & 0xFFFF);
  r.relevance = kept < 0 ? 0 : kept;
  scored_.insert(std::string(r.url()));
  document_->SetModifiedFlag();
  RowChanged(row);
}

void ResultsModel::SetValidating(const std::string& url, bool running) {
  if (running) {
    ++validating_[url];
  } else if (auto it = validating_.find(url); it != validating_.end() && --it->second <= 0) {
    validating_.erase(it);
  }
  const int rows = rowCount();
  for (int row = 0; row < rows; ++row) {
    if (store().record(row).url() == url) {
      emit dataChanged(index(row, kColumnText), index(row, kColumnText), {Qt::DecorationRole});
    }
  }
}

}  // namespace trovelane::ui
