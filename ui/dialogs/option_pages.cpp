#include "ui/dialogs/option_pages.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <limits>

#include "app/settings_file.h"

namespace trovelane::ui {
namespace {

QButtonGroup* RadioGroup(QWidget* page, QBoxLayout* layout,
                         std::initializer_list<const char*> texts, const QString& prefix) {
  auto* group = new QButtonGroup(page);
  int id = 0;
  for (const char* text : texts) {
    auto* radio = new QRadioButton(text);
    radio->setObjectName(prefix + QString::number(id));
    group->addButton(radio, id++);
    layout->addWidget(radio);
  }
  return group;
}

void CheckOrClear(QButtonGroup* group, int id) {
  if (QAbstractButton* button = group->button(id)) {
    button->setChecked(true);
    return;
  }
  // No button stands for this code: show no choice.
  group->setExclusive(false);
  for (QAbstractButton* b : group->buttons()) b->setChecked(false);
  group->setExclusive(true);
}

int CheckedOr(const QButtonGroup* group, int kept) {
  int id = group->checkedId();
  return id < 0 ? kept : id;
}

// Closes the in-place weight edit: Return keeps the typed value, Escape drops it.
class WeightEditFilter : public QObject {
 public:
  explicit WeightEditFilter(std::function<void(bool)> close, QObject* parent)
      : QObject(parent), close_(std::move(close)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        close_(true);
        return true;
      }
      if (key == Qt::Key_Escape) {
        close_(false);
        return true;
      }
    } else if (event->type() == QEvent::FocusOut) {
      close_(true);
    }
    return false;
  }

 private:
  std::function<void(bool)> close_;
};

}  // namespace

int16_t WeightFromText(const QString& text) {
  std::string s = text.toStdString();
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = std::min<long long>(value * 10 + (s[i] - '0'), 1000000);
  }
  if (negative) value = -value;
  value = std::clamp<long long>(value, std::numeric_limits<int16_t>::min(),
                                std::numeric_limits<int16_t>::max());
  return static_cast<int16_t>(value);
}

OptionsSheet::OptionsSheet(QWidget* parent) : QTabWidget(parent) {
  addTab(MakeResultsPage(), "Results");
  addTab(MakeValidationPage(), "Validation/Relevancy");
  addTab(MakeBooleanPage(), "Boolean");
  addTab(MakeDuplicatesPage(), "Duplicates");
  addTab(MakeRelevancePage(), "Relevance Settings");
  setUsesScrollButtons(true);
}

QWidget* OptionsSheet::MakeResultsPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* row = new QHBoxLayout;
  maxResults_ = new QLineEdit;
  maxResults_->setObjectName("maxResults");
  maxResults_->setValidator(new QIntValidator(0, std::numeric_limits<int32_t>::max(), maxResults_));
  maxResults_->setMaximumWidth(100);
  row->addWidget(new QLabel("Max"));
  row->addWidget(maxResults_);
  row->addStretch();
  layout->addLayout(row);
  perEngine_ = RadioGroup(page, layout, {"from all engines.", "per engine."}, "perEngine");
  layout->addStretch();
  return page;
}

QWidget* OptionsSheet::MakeValidationPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  validation_ = RadioGroup(page, layout,
                           {"No validation and relevancy check (Fast)", "Validation only.",
                            "Validation with relevancy checking.", "Auto (Recommended)"},
                           "validation");
  auto* row = new QHBoxLayout;
  minRelevancy_ = new QLineEdit;
  minRelevancy_->setObjectName("minRelevancy");
  minRelevancy_->setValidator(new QIntValidator(0, 100, minRelevancy_));
  minRelevancy_->setMaximumWidth(60);
  row->addWidget(new QLabel("Min Relevancy (if checked)"));
  row->addWidget(minRelevancy_);
  row->addWidget(new QLabel("%"));
  row->addStretch();
  layout->addLayout(row);
  layout->addStretch();
  return page;
}

QWidget* OptionsSheet::MakeBooleanPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel("Specify the default boolean operator."));
  defaultOperator_ = RadioGroup(page, layout, {"AND", "OR"}, "operator");
  layout->addStretch();
  return page;
}

QWidget* OptionsSheet::MakeDuplicatesPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  duplicates_ = RadioGroup(
      page, layout, {"Remove duplicate URL's", "Remove duplicate Title's", "None"}, "duplicates");
  layout->addStretch();
  return page;
}

QWidget* OptionsSheet::MakeRelevancePage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  weights_ = new QTableWidget(kWeightCount, 2);
  weights_->setObjectName("weights");
  weights_->setHorizontalHeaderLabels({"Item", "Weight"});
  weights_->verticalHeader()->hide();
  weights_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  weights_->setShowGrid(true);
  weights_->setSelectionBehavior(QAbstractItemView::SelectRows);
  weights_->setSelectionMode(QAbstractItemView::SingleSelection);
  weights_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  weights_->verticalHeader()->setDefaultSectionSize(20);
  weights_->setMinimumHeight(20 * kWeightCount + 26);
  for (int row = 0; row < kWeightCount; ++row) {
    weights_->setItem(row, 0, new QTableWidgetItem(kWeightNames[row]));
    weights_->setItem(row, 1, new QTableWidgetItem("0"));
  }
  connect(weights_, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { EditWeight(row); });
  layout->addWidget(weights_);
  return page;
}

void OptionsSheet::EditWeight(int row) {
  if (row < 0 || row >= kWeightCount) return;
  CloseWeightEditor(true);
  editedRow_ = row;
  weightEditor_ = new QLineEdit(weights_->viewport());
  weightEditor_->setObjectName("weightEditor");
  weightEditor_->setText(QString::number(weightValues_[row]));
  weightEditor_->setGeometry(weights_->visualRect(weights_->model()->index(row, 1)));
  weightEditor_->installEventFilter(
      new WeightEditFilter([this](bool store) { CloseWeightEditor(store); }, weightEditor_));
  weightEditor_->selectAll();
  weightEditor_->show();
  weightEditor_->setFocus();
}

void OptionsSheet::CloseWeightEditor(bool store) {
  if (!weightEditor_) return;
  QLineEdit* editor = weightEditor_;
  weightEditor_ = nullptr;
  if (store) {
    // The cell shows the number kept, not the text as typed, so that what the
    // list shows is what is saved.
    weightValues_[editedRow_] = WeightFromText(editor->text());
    weights_->item(editedRow_, 1)->setText(QString::number(weightValues_[editedRow_]));
  }
  editedRow_ = -1;
  editor->hide();
  editor->deleteLater();
}

void OptionsSheet::Load(const SearchOptions& options) {
  maxResults_->setText(QString::number(options.maxResults));
  CheckOrClear(perEngine_, options.perEngine);
  CheckOrClear(validation_, options.validationMode);
  minRelevancy_->setText(QString::number(options.minRelevancy));
  // The search reads any value above 0 as OR.
  CheckOrClear(defaultOperator_, options.defaultOperator > 0 ? 1 : 0);
  CheckOrClear(duplicates_, options.duplicateMode);
  weightValues_ = options.weights;
  for (int row = 0; row < kWeightCount; ++row) {
    weights_->item(row, 1)->setText(QString::number(weightValues_[row]));
  }
}

void OptionsSheet::Store(SearchOptions& options) const {
  const_cast<OptionsSheet*>(this)->CloseWeightEditor(true);
  options.maxResults = maxResults_->text().toInt();
  options.perEngine = static_cast<uint8_t>(CheckedOr(perEngine_, options.perEngine));
  options.validationMode = CheckedOr(validation_, options.validationMode);
  options.minRelevancy = minRelevancy_->text().toInt();
  // A stored code that already means the chosen operator is kept as it stands.
  int op = defaultOperator_->checkedId();
  if (op >= 0 && op != (options.defaultOperator > 0 ? 1 : 0)) options.defaultOperator = op;
  options.duplicateMode = CheckedOr(duplicates_, options.duplicateMode);
  options.weights = weightValues_;
  options.maxRelevance = ComputeMaxRelevance(options.weights);
}

}  // namespace trovelane::ui
