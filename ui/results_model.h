// ResultsModel: the results list's model, a table over the document's results
// store. It keeps no copy of the records: row i is record i of the store, and
// every change goes through the model's methods so that the views learn of
// it. It also holds what the list shows but the store does not keep: which
// rows are being validated (overlay 3) and whether tool tips are on.
//
// Threads: user-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <QIcon>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "results/results_document.h"

namespace trovelane::ui {

// Column headers and initial widths of the results list, in column order.
inline constexpr const char* kColumnHeaders[kColumnCount] = {"Result Text", "Search Engine",
                                                            "Relevance", "Result URL"};
inline constexpr int kColumnInitialWidths[kColumnCount] = {300, 80, 20, 300};

// The row icon's overlays.
enum RowOverlay : int {
  kOverlayNone = 0,
  kOverlayReachable = 1,    // validated and reachable
  kOverlayUnreachable = 2,  // validated and not reachable
  kOverlayValidating = 3,   // a validation runs
};

// Text colours of the list: URLs blue, an opened row purple.
inline const QColor kUrlColour{0, 0, 255};
inline const QColor kOpenedColour{128, 0, 128};
// The same two on a dark palette, where blue and purple cannot be read.
inline const QColor kDarkUrlColour{120, 170, 255};
inline const QColor kDarkOpenedColour{205, 150, 255};

// The URL colour (or the opened one) that reads on `palette`'s list background.
QColor LinkColour(const QPalette& palette, bool opened);

class ResultsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `document` outlives the model (or is replaced with SetDocument first).
  explicit ResultsModel(CQuivmarkDoc& document, QObject* parent = nullptr);

  void SetDocument(CQuivmarkDoc& document);
  CQuivmarkDoc& document() { return *document_; }
  ResultsStore& store() { return document_->results(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Appends one record at the bottom (a result handed over by a worker).
  void Append(std::string_view url, std::string_view text, std::string_view engineName,
              uint16_t validationState, int16_t relevance);
  // Removes record `row` and its list row.
  bool Remove(int row);
  // Sorts the store by `column` (the same column again flips the direction)
  // and shows the new order. Returns the new direction, or -1.
  int Sort(int column);
  // Puts the store's records in `order` (ResultsStore::Reorder) and shows it.
  void Reorder(const std::vector<size_t>& order);
  // Back to the order the results came in, and shows it.
  void SortByArrival();
  // The store was replaced or emptied behind the model's back (New, Open):
  // show it afresh, with no validation overlays.
  void Rebuild();

  // Takes what a watch did to a copy of the store (MergeWatchedCopy) and
  // shows it; marks the document modified.
  void TakeWatch(const ResultsStore& watched, int32_t arrivalsBefore);

  // A row's opened mark; marks the document modified.
  void SetOpened(int row, bool opened);
  // The outcome of a validation of `row`; marks the document modified.
  void SetValidation(int row, bool reachable, int relevance);
  // Overlay 3 while a validation of this URL runs; counted, so that two
  // checks of one URL keep it until both have ended.
  void SetValidating(const std::string& url, bool running);

  // The overlay that row `row` shows.
  int Overlay(int row) const;
  void SetToolTips(bool on) { toolTips_ = on; }

  // The icon every row shows (the browser's), before any overlay.
  void SetBaseIcon(const QIcon& icon);
  // Icons with the overlays drawn on, by RowOverlay.
  const QIcon& RowIcon(int overlay) const { return icons_[overlay]; }

 private:
  void RowChanged(int row);

  CQuivmarkDoc* document_;
  std::map<std::string, int> validating_;  // URL -> checks running
  std::set<std::string> scored_;           // URLs a validation here gave a score
  bool toolTips_ = false;
  QIcon icons_[4];
};

// What the last watch found shows in the font of a record's row, in the list
// and in print: a new record bold, a dead one struck through. Returns whether
// it changed `font`.
bool ApplyWatchStyle(QFont& font, const ResultRecord& record);

// A small icon drawn by the program: the row fallback browser icon, and the
// overlays over `base`.
QIcon DrawFallbackBrowserIcon();
QIcon DrawOverlayIcon(const QIcon& base, int overlay);

}  // namespace trovelane::ui
