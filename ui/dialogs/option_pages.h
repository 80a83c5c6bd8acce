// The search option pages as the tabs of one sheet: "Results",
// "Validation/Relevancy", "Boolean", "Duplicates" and "Relevance Settings".
// The sheet edits a copy of SearchOptions: Load fills the pages, Store
// copies them back (a radio group with no choice keeps the stored code) and
// recomputes maxRelevance. Saving is the caller's.
#pragma once

#include <QTabWidget>
#include <array>

#include "search/settings.h"

class QButtonGroup;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;

namespace trovelane::ui {

// The names of the relevance weights, in the order of SearchOptions::weights.
inline constexpr std::array<const char*, kWeightCount> kWeightNames = {
    "Title",     "Heading 1",   "Heading 2",   "Heading 3",
    "Heading 4", "Font Size 6", "Font Size 3", "None"};

class OptionsSheet : public QTabWidget {
  Q_OBJECT

 public:
  explicit OptionsSheet(QWidget* parent = nullptr);

  void Load(const SearchOptions& options);
  void Store(SearchOptions& options) const;

  // The weights list of "Relevance Settings"; double-clicking a row opens the
  // in-place edit of its weight.
  QTableWidget* weightsList() const { return weights_; }
  // The in-place edit while it is open, else null.
  QLineEdit* weightEditor() const { return weightEditor_; }

 private:
  QWidget* MakeResultsPage();
  QWidget* MakeValidationPage();
  QWidget* MakeBooleanPage();
  QWidget* MakeDuplicatesPage();
  QWidget* MakeRelevancePage();
  void EditWeight(int row);
  void CloseWeightEditor(bool store);

  QLineEdit* maxResults_ = nullptr;
  QButtonGroup* perEngine_ = nullptr;
  QButtonGroup* validation_ = nullptr;
  QLineEdit* minRelevancy_ = nullptr;
  QButtonGroup* defaultOperator_ = nullptr;
  QButtonGroup* duplicates_ = nullptr;
  QTableWidget* weights_ = nullptr;
  QLineEdit* weightEditor_ = nullptr;
  int editedRow_ = -1;
  std::array<int16_t, kWeightCount> weightValues_{};
};

// The number that an in-place weight edit stores: the decimal digits at the
// start of the text (after blanks and a sign), 0 when there are none, held
// within the range of a weight.
int16_t WeightFromText(const QString& text);

}  // namespace trovelane::ui
