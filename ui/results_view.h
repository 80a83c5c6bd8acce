// CQuivmarkView: the main window's client area. A 60-pixel band at the top
// for the banner, and under it the results list over ResultsModel with the
// result commands: launch, copy, delete, mark, unmark, validate, select all,
// sort by a column, save as HTML.
//
// Threads: user-interface thread only. Results arrive through OnSearchResult,
// called by the search bridge on this thread while the worker waits.
// Validate starts one RowValidation per row (a bounded number run at once,
// the rest wait their turn); their outcome is posted back to this thread,
// and the view cancels every check still running or waiting when the
// document is replaced or the view is destroyed, so a check that ends later
// never reaches either.
#pragma once

#include <QAction>
#include <QTableView>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engines/search_expression.h"
#include "search/settings.h"
#include "search/row_validation.h"
#include "search/search_events.h"
#include "ui/prompts.h"
#include "ui/results_model.h"

namespace trovelane::ui {

// Texts of the view's questions.
inline constexpr const char* kLaunchManyQuestion =
    "This action would start %d instances of your default browser !\nDo you want to continue ?";
inline constexpr const char* kDeleteOneQuestion = "Are you sure you want to delete this item ?";
inline constexpr const char* kDeleteManyQuestion = "Are you sure you want to delete these %d items ?";
inline constexpr const char* kValidateAgainQuestion =
    "t r o v e l a n e has already validated the URL %s.\n"
    "Are you sure you would like to validate it again ?";

// From this many selected rows on, launching asks first.
inline constexpr int kLaunchAskFrom = 6;
// Height of the banner band above the list.
inline constexpr int kBannerHeight = 60;

// `text` as a column `columnWidth` pixels wide shows it: whole when it fits
// in the width less 5 pixels, else cut and ending in "...".
QString ElideWithDots(const QString& text, const QFontMetrics& metrics, int columnWidth);

// What the view needs of the main window.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  virtual bool IsSearching() const = 0;
  // The text of the expression box.
  virtual QString GetSearchExpressionText() const = 0;
  // The expression Validate scores against: the last search's, else the
  // document's search text parsed (nullptr, after a message, when there is
  // none that parses).
  virtual const SearchExpression* ValidationExpression() = 0;
  virtual const NetworkSettings& Settings() const = 0;
  // Opens the URL with the desktop's handler / in a new window of the
  // configured browser.
  virtual void LaunchInBrowser(const std::string& url) = 0;
  virtual void LaunchInNewBrowserWindow(const std::string& url) = 0;
  // The result total became `total` after rows were deleted; pane 0 shows
  // "Ready" for none, else the count.
  virtual void ResultsDeleted(int total) = 0;
  // Delete All emptied the document (title "New Search").
  virtual void DocumentEmptied() = 0;
  virtual UserPrompts& Prompts() = 0;
};

class CQuivmarkView : public QWidget {
  Q_OBJECT

 public:
  CQuivmarkView(CQuivmarkDoc& document, ViewHost& host, QWidget* parent = nullptr);
  ~CQuivmarkView() override;

  // A result handed over by a worker: appended at the bottom.
  void OnSearchResult(const ResultHandoff& result);
  // The document was replaced or emptied (New, Open, a new search): checks
  // still running are cancelled and the list shows the store afresh.
  void OnDocumentReplaced();
  // Applies the view options: full row selection, grid lines, tool tips.
  void ApplyViewOptions(const ViewOptions& options);

  // The commands. Each acts on the selected rows in ascending order.
  void Launch();
  void LaunchInNewWindow();
  void CopyUrls();
  void DeleteSelected();
  void DeleteAll();
  void MarkSelected();
  void UnmarkSelected();
  void ValidateSelected();
  void SelectAll();
  void SortByColumn(int column);
  // The list in `order` (row indexes, as RankRows gives them) / back in the
  // order the results came in; neither is a column's order, so the header
  // shows no sort arrow.
  void ShowInOrder(const std::vector<size_t>& order);
  void ShowInArrivalOrder();
  // Whether every row is a result of the window's last search, still
  // numbered as the search handed them over (ResultRecord::arrival), so
  // that the search's finders belong to them: false for an opened document
  // and after Delete All during a search.
  bool RowsFromLastSearch() const;
  void SaveAsHtml();

  // Selected rows, ascending.
  std::vector<int> SelectedRows() const;
  void SelectRows(const std::vector<int>& rows);

  QTableView* list() { return list_; }
  ResultsModel* model() { return model_; }
  // The band the banner widget goes into (it fills the band).
  QWidget* bannerBand() { return bannerBand_; }
  void SetBannerWidget(QWidget* banner);
  int RunningValidations() const { return static_cast<int>(validations_.size()); }
  // The column widths of the resize rule for a list `width` pixels wide.
  std::vector<int> ColumnWidthsFor(int width) const;

  // The result commands as actions (menu, context menu, shortcuts).
  QAction* launchAction;
  QAction* launchNewAction;
  QAction* copyAction;
  QAction* deleteAction;
  QAction* deleteAllAction;
  QAction* markAction;
  QAction* unmarkAction;
  QAction* validateAction;
  QAction* selectAllAction;
  QAction* saveAsHtmlAction;

 signals:
  // A validation came back and was applied (or dropped); for tests and the
  // status of the window.
  void validationFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Check {
    std::shared_ptr<RowValidation> job;
    int row = 0;
    std::string url;
  };

  void OnValidationDone(int id, bool reachable, int relevance);
  void CancelValidations();
  void ApplySortArrow();
  void ShowContextMenu(const QPoint& at);
  bool ConfirmLaunch(int count);

  ViewHost& host_;
  CQuivmarkDoc* document_;
  ResultsModel* model_;
  QWidget* bannerBand_;
  QTableView* list_;
  std::map<int, Check> validations_;
  int nextValidationId_ = 1;
  // Results handed over since the document was last replaced, and whether
  // the store's arrival numbers still follow the search's (see
  // RowsFromLastSearch).
  int searchResults_ = 0;
  bool searchNumbering_ = true;
};

}  // namespace trovelane::ui
