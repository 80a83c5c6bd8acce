// The Expression Wizard: builds a search expression one term at a time for
// users who do not know its syntax. CExpressionWizard asks for one term (a
// word, a phrase or an HTML tag test); the builder dialog shows the
// expression so far and joins the next term with AND or OR and an optional
// NOT, or finishes. RunExpressionWizard drives the two and returns the text
// for the expression box.
//
// Owner thread: the UI thread.
#pragma once

#include <QDialog>
#include <QWizard>
#include <optional>

#include "ui/prompts.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace trovelane::ui {

enum ExpressionNodeType { kSingleWord = 0, kPhrase = 1, kHtmlTag = 2 };

struct WizardTerm {
  QString term;     // the term as the expression holds it
  QString problem;  // why the input makes no term; empty when it does
};

// The term for what the term page holds: the text as typed (a word), the text
// in double quotes (a phrase, or a word the grammar cannot hold bare, such as
// it's), or 'QMNOSEND,TAG,PROPERTY,TEXT' (a tag test, QMNOSEND only when
// asked). Nothing is trimmed or escaped: text the grammar cannot hold at all
// (a double quote in a phrase, a comma in a tag's text without QMNOSEND) is
// refused with the reason as the problem.
WizardTerm ComposeWizardTerm(int nodeType, const QString& text, const QString& tag,
                             const QString& property, bool noSend);

// One more term joined to `expression`: the operator ("&" or "|") and the
// negation ("!" or nothing) chosen in the builder before it.
QString JoinWizardTerm(const QString& expression, const QString& pendingOperator,
                       const QString& pendingNegation, const QString& term);

class CNodeTypePage : public QWizardPage {
  Q_OBJECT

 public:
  explicit CNodeTypePage(QWidget* parent = nullptr);
  int nodeType() const;

 private:
  QButtonGroup* type_ = nullptr;
};

class CExpressionPage : public QWizardPage {
  Q_OBJECT

 public:
  CExpressionPage(const CNodeTypePage* typePage, UserPrompts& prompts, QWidget* parent = nullptr);

  void initializePage() override;
  bool validatePage() override;
  const QString& term() const { return term_; }

 private:
  const CNodeTypePage* typePage_;
  UserPrompts& prompts_;
  QLineEdit* text_ = nullptr;
  QComboBox* tag_ = nullptr;
  QComboBox* property_ = nullptr;
  QCheckBox* noSend_ = nullptr;
  QString term_;
};

class CExpressionWizard : public QWizard {
  Q_OBJECT

 public:
  explicit CExpressionWizard(UserPrompts& prompts, QWidget* parent = nullptr);
  // The composed term; set when the wizard was finished.
  QString term() const;

 private:
  CNodeTypePage* typePage_;
  CExpressionPage* termPage_;
};

// The builder dialog: the expression so far, "Operator", "Negate/Not",
// "&Add", "&Finish" and "Cancel". It keeps the operator between showings.
class ExpressionBuilderDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ExpressionBuilderDialog(QWidget* parent = nullptr);

  // Shows `expression` with "Negate/Not" cleared.
  void Prepare(const QString& expression);
  bool finishPressed() const { return finish_; }
  QString pendingOperator() const;  // "&" for AND, "|" for OR
  QString pendingNegation() const;  // "!" when "Negate/Not" is checked

 private:
  QLineEdit* expression_ = nullptr;
  QComboBox* operator_ = nullptr;
  QCheckBox* negate_ = nullptr;
  bool finish_ = false;
};

// Runs the wizard and the builder until "&Finish" (the expression) or a
// Cancel (nothing).
std::optional<QString> RunExpressionWizard(UserPrompts& prompts, QWidget* parent);

}  // namespace trovelane::ui
