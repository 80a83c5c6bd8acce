#include "ui/dialogs/expression_wizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engines/search_expression.h"
#include "search/search_text.h"

namespace trovelane::ui {

namespace {

// Whether the search box would take `term` alone: the wizard must never hand
// the user an expression that is then refused as invalid.
bool Parses(const QString& term) {
  return ParseExpression(NormalizeSearchText(term.trimmed().toStdString(), 0)).has_value();
}

}  // namespace

WizardTerm ComposeWizardTerm(int nodeType, const QString& text, const QString& tag,
                             const QString& property, bool noSend) {
  if (text.isEmpty()) return {{}, "Expression cannot be empty."};
  if (nodeType == kSingleWord || nodeType == kPhrase) {
    const QString quoted = "\"" + text + "\"";
    // A word the grammar would split or leave open (it's) is sent as a
    // phrase; a double quote inside a phrase cannot be written at all.
    if (nodeType == kSingleWord && Parses(text)) return {text, {}};
    if (!text.contains('"') && Parses(quoted)) return {quoted, {}};
    return {{}, "A word or phrase cannot contain a double quote (\")."};
  }
  if (tag.isEmpty()) return {{}, "No HTML tag specified."};
  if (property.isEmpty()) return {{}, "No HTML tag property specified."};
  // The term is split at commas and ends at the next single quote: the tag
  // and property can hold neither, and the text a comma only after QMNOSEND.
  for (const QString& field : {tag, property}) {
    if (field.contains(',') || field.contains('\'')) {
      return {{}, "An HTML tag or property cannot contain a comma or a single quote (')."};
    }
  }
  if (text.contains('\'')) return {{}, "The text of an HTML tag term cannot contain a single quote (')."};
  if (text.contains(',') && !noSend) {
    return {{}, "The text of an HTML tag term can contain a comma only with QMNOSEND applied."};
  }
  const QString term = QString("'%1%2,%3,%4'").arg(noSend ? "QMNOSEND," : "", tag, property, text);
  if (!Parses(term)) return {{}, "This HTML tag term cannot be searched for."};
  return {term, {}};
}

QString JoinWizardTerm(const QString& expression, const QString& pendingOperator,
                       const QString& pendingNegation, const QString& term) {
  return expression + pendingOperator + pendingNegation + term;
}

CNodeTypePage::CNodeTypePage(QWidget* parent) : QWizardPage(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("I am entering a :"));
  type_ = new QButtonGroup(this);
  const char* texts[] = {"Single word.", "Phrase.", "HTML tag expression"};
  for (int id = 0; id < 3; ++id) {
    auto* radio = new QRadioButton(texts[id]);
    radio->setObjectName(QString("nodeType%1").arg(id));
    type_->addButton(radio, id);
    layout->addWidget(radio);
  }
  type_->button(kSingleWord)->setChecked(true);
  layout->addStretch();
}

int CNodeTypePage::nodeType() const { return type_->checkedId(); }

CExpressionPage::CExpressionPage(const CNodeTypePage* typePage, UserPrompts& prompts,
                                 QWidget* parent)
    : QWizardPage(parent), typePage_(typePage), prompts_(prompts) {
  text_ = new QLineEdit;
  text_->setObjectName("text");
  tag_ = new QComboBox;
  tag_->setObjectName("tag");
  tag_->setEditable(true);
  tag_->addItems({"A", "BODY", "INPUT", "TABLE", "TITLE"});
  tag_->setCurrentIndex(-1);
  property_ = new QComboBox;
  property_->setObjectName("property");
  property_->setEditable(true);
  property_->addItems({"BACKGROUND", "HREF", "QMINNERTEXT"});
  property_->setCurrentIndex(-1);
  noSend_ = new QCheckBox("Apply QMNOSEND");
  noSend_->setObjectName("noSend");

  auto* group = new QGroupBox("HTML Tag Search");
  auto* form = new QFormLayout(group);
  form->addRow("HTML Tag", tag_);
  form->addRow("Property", property_);
  form->addRow(noSend_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Enter your word/phrase here:"));
  layout->addWidget(text_);
  layout->addWidget(group);
  layout->addStretch();
}

void CExpressionPage::initializePage() {
  // The tag controls keep their values when a word or phrase is chosen; they
  // are only not used.
  bool tagTerm = typePage_->nodeType() == kHtmlTag;
  for (QWidget* w : std::initializer_list<QWidget*>{tag_, property_, noSend_}) {
    w->setEnabled(tagTerm);
  }
}

bool CExpressionPage::validatePage() {
  WizardTerm made = ComposeWizardTerm(typePage_->nodeType(), text_->text(), tag_->currentText(),
                                      property_->currentText(), noSend_->isChecked());
  if (!made.problem.isEmpty()) {
    prompts_.Inform(this, made.problem);
    return false;
  }
  term_ = made.term;
  return true;
}

CExpressionWizard::CExpressionWizard(UserPrompts& prompts, QWidget* parent) : QWizard(parent) {
  setWindowTitle("Expression Wizard");
  setWizardStyle(QWizard::ClassicStyle);
  setOption(QWizard::NoBackButtonOnStartPage, true);
  typePage_ = new CNodeTypePage;
  termPage_ = new CExpressionPage(typePage_, prompts);
  addPage(typePage_);
  addPage(termPage_);
  resize(460, 340);
}

QString CExpressionWizard::term() const { return termPage_->term(); }

ExpressionBuilderDialog::ExpressionBuilderDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Expression Wizard");
  expression_ = new QLineEdit;
  expression_->setObjectName("expression");
  expression_->setReadOnly(true);
  expression_->setMinimumWidth(320);
  operator_ = new QComboBox;
  operator_->setObjectName("operator");
  operator_->addItems({"AND", "OR"});
  negate_ = new QCheckBox("Negate/Not");
  negate_->setObjectName("negate");

  auto* box = new QDialogButtonBox;
  QPushButton* add = box->addButton("&Add", QDialogButtonBox::AcceptRole);
  add->setObjectName("add");
  QPushButton* finish = box->addButton("&Finish", QDialogButtonBox::AcceptRole);
  finish->setObjectName("finish");
  finish->setDefault(true);
  box->addButton(QDialogButtonBox::Cancel);
  connect(add, &QPushButton::clicked, this, [this] {
    finish_ = false;
    accept();
  });
  connect(finish, &QPushButton::clicked, this, [this] {
    finish_ = true;
    accept();
  });
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow("Expression", expression_);
  form->addRow("Operator", operator_);
  form->addRow(negate_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(box);
}

void ExpressionBuilderDialog::Prepare(const QString& expression) {
  expression_->setText(expression);
  negate_->setChecked(false);
  finish_ = false;
}

QString ExpressionBuilderDialog::pendingOperator() const {
  return operator_->currentIndex() == 1 ? "|" : "&";
}

QString ExpressionBuilderDialog::pendingNegation() const { return negate_->isChecked() ? "!" : ""; }

std::optional<QString> RunExpressionWizard(UserPrompts& prompts, QWidget* parent) {
  QString expression;
  QString pendingOperator;
  QString pendingNegation;
  ExpressionBuilderDialog builder(parent);
  for (;;) {
    // Each term starts from a fresh wizard, at its first page.
    CExpressionWizard wizard(prompts, parent);
    if (wizard.exec() != QDialog::Accepted) return std::nullopt;
    expression = JoinWizardTerm(expression, pendingOperator, pendingNegation, wizard.term());
    builder.Prepare(expression);
    if (builder.exec() != QDialog::Accepted) return std::nullopt;
    pendingNegation = builder.pendingNegation();
    pendingOperator = builder.pendingOperator();
    if (builder.finishPressed()) return expression;
  }
}

}  // namespace trovelane::ui
