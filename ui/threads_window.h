// CThreadsWindow: the small modeless "Search Threads" window. One row per
// engine of the catalogue, in catalogue order (row i is engine i), with the
// status of its search worker: the worker's last status text, "Not Active",
// "Not Selected" or, for an engine suspended after a block, "Suspended until
// HH:MM (CAPTCHA)"; and, once the engine's part of a search is over, how it
// ended ("20 results, 2 pages, done").
//
// The main window creates it, fills its rows and feeds it the status texts;
// when the user closes it, it emits closed() and the main window deletes it.
// Threads: user-interface thread only.
#pragma once

#include <QDialog>

class QTableWidget;

namespace trovelane::ui {

inline constexpr const char* kThreadsWindowCaption = "t r o v e l a n e Search Threads";
inline constexpr const char* kNotSelected = "Not Selected";

class CThreadsWindow : public QDialog {
  Q_OBJECT

 public:
  explicit CThreadsWindow(QWidget* owner);

  // Appends a row: the engine's name, its status and how its last search
  // ended (empty while it runs or before it ran).
  void AddThreadRow(const QString& engineName, const QString& status,
                    const QString& ending = QString());
  // Removes every row.
  void ClearRows();
  // Widens the engine column to its longest name, within bounds.
  void FitNameColumn();
  // Sets the status of `row` and repaints at once.
  void SetThreadStatus(int row, const QString& text);
  // Sets the "Last Search" column of `row`.
  void SetThreadEnding(int row, const QString& text);
  // Selects `row`, scrolls it into view and repaints.
  void SelectThreadRow(int row);

  int RowCount() const;
  QString EngineName(int row) const;
  QString Status(int row) const;
  QString Ending(int row) const;
  QTableWidget* list() { return list_; }

  // The close button and Escape end here: hides the window and emits closed().
  void reject() override;

 signals:
  // The user closed the window (or it was closed by the program).
  void closed();


 private:
  QTableWidget* list_;
};

}  // namespace trovelane::ui
