#include "ui/dialogs/expression_wizard.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "engines/search_expression.h"
#include "search/search_text.h"
#include "tests/ui/dialog_test_support.h"

namespace trovelane::ui {
namespace {

using testing::Child;
using testing::ModalScript;
using testing::ScriptedPrompts;

TEST(ExpressionWizardTest, TermsAreComposedAsTypedAndRefusedInOrder) {
  EXPECT_EQ(ComposeWizardTerm(kSingleWord, " cat ", "", "", false).term, " cat ");
  EXPECT_EQ(ComposeWizardTerm(kHtmlTag, "news", "TITLE", "QMINNERTEXT", false).term,
            "'TITLE,QMINNERTEXT,news'");
  EXPECT_EQ(ComposeWizardTerm(kHtmlTag, "x", "A", "HREF", true).term, "'QMNOSEND,A,HREF,x'");
  // Words and phrases ignore the tag fields.
  EXPECT_EQ(ComposeWizardTerm(kSingleWord, "cat", "", "", true).term, "cat");

  EXPECT_EQ(ComposeWizardTerm(kPhrase, "", "", "", false).problem, "Expression cannot be empty.");
  EXPECT_EQ(ComposeWizardTerm(kHtmlTag, "", "", "", false).problem, "Expression cannot be empty.");
  EXPECT_EQ(ComposeWizardTerm(kHtmlTag, "x", "", "", false).problem, "No HTML tag specified.");
  EXPECT_EQ(ComposeWizardTerm(kHtmlTag, "x", "A", "", false).problem,
            "No HTML tag property specified.");
}

TEST(ExpressionWizardTest, EveryTermItMakesParsesAndWhatCannotBeHeldIsRefused) {
  EXPECT_EQ(ComposeWizardTerm(kSingleWord, "it's", "", "", false).term, "\"it's\"");
  EXPECT_EQ(ComposeWizardTerm(kHtmlTag, "a,b", "TITLE", "QMINNERTEXT", true).term,
            "'QMNOSEND,TITLE,QMINNERTEXT,a,b'");
  const struct {
    int type;
    const char* text;
    const char* tag;
  } refused[] = {{kPhrase, "say \"hi\"", ""},  {kSingleWord, "it's \"x", ""},
                 {kHtmlTag, "a,b", "TITLE"}, {kHtmlTag, "it's", "TITLE"},
                 {kHtmlTag, "x", "TI,TLE"}};
  for (const auto& c : refused) {
    const WizardTerm made = ComposeWizardTerm(c.type, c.text, c.tag, "QMINNERTEXT", false);
    EXPECT_TRUE(made.term.isEmpty()) << c.text;
    EXPECT_FALSE(made.problem.isEmpty()) << c.text;
  }
  for (const char* word : {"cat", "it's", "x&y", "(a"}) {
    const WizardTerm made = ComposeWizardTerm(kSingleWord, word, "", "", false);
    if (made.problem.isEmpty()) {
      EXPECT_TRUE(ParseExpression(NormalizeSearchText(made.term.toStdString(), 0))) << word;
    }
  }
}

// Fills the two pages of the term wizard and presses Finish.
ModalScript::Action Term(int nodeType, const QString& text, const QString& tag = {},
                         const QString& property = {}, bool noSend = false) {
  return [=](QWidget* d) {
    auto* wizard = qobject_cast<CExpressionWizard*>(d);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(wizard->windowTitle(), "Expression Wizard");
    Child<QRadioButton>(wizard, QString("nodeType%1").arg(nodeType))->setChecked(true);
    wizard->next();
    Child<QLineEdit>(wizard, "text")->setText(text);
    Child<QComboBox>(wizard, "tag")->setEditText(tag);
    Child<QComboBox>(wizard, "property")->setEditText(property);
    Child<QCheckBox>(wizard, "noSend")->setChecked(noSend);
    wizard->button(QWizard::FinishButton)->click();
  };
}

ModalScript::Action Builder(const QString& expected, const char* button, int op = -1,
                            bool negate = false) {
  return [=](QWidget* d) {
    auto* builder = qobject_cast<ExpressionBuilderDialog*>(d);
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(Child<QLineEdit>(builder, "expression")->text(), expected);
    EXPECT_FALSE(Child<QCheckBox>(builder, "negate")->isChecked());  // cleared for every term
    if (op >= 0) Child<QComboBox>(builder, "operator")->setCurrentIndex(op);
    Child<QCheckBox>(builder, "negate")->setChecked(negate);
    testing::ButtonByText(builder, button)->click();
  };
}

TEST(ExpressionWizardTest, TermsAreJoinedWithTheOperatorChosenBeforeThem) {
  ScriptedPrompts prompts;
  ModalScript script;
  script.Then(Term(kSingleWord, "cat"))
      .Then(Builder("cat", "&Add", 1, true))
      .Then(Term(kPhrase, "big dog"))
      .Then(Builder("cat|!\"big dog\"", "&Add"))  // OR stays chosen
      .Then(Term(kHtmlTag, "news", "TITLE", "QMINNERTEXT"))
      .Then(Builder("cat|!\"big dog\"|'TITLE,QMINNERTEXT,news'", "&Finish", 0, true));
  std::optional<QString> expression = RunExpressionWizard(prompts, nullptr);
  ASSERT_TRUE(expression.has_value());
  EXPECT_EQ(*expression, "cat|!\"big dog\"|'TITLE,QMINNERTEXT,news'");
  EXPECT_TRUE(ParseExpression(expression->toStdString()).has_value());
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(ExpressionWizardTest, FinishingAfterTheFirstTermIgnoresTheChoicesMadeThen) {
  ScriptedPrompts prompts;
  ModalScript script;
  script.Then(Term(kSingleWord, "cat")).Then(Builder("cat", "&Finish", 1, true));
  EXPECT_EQ(RunExpressionWizard(prompts, nullptr), QString("cat"));
}

TEST(ExpressionWizardTest, CancelAnywhereGivesNothing) {
  ScriptedPrompts prompts;
  ModalScript script;
  script.Then([](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); });
  EXPECT_FALSE(RunExpressionWizard(prompts, nullptr).has_value());

  script.Then(Term(kSingleWord, "cat")).Then([](QWidget* d) {
    qobject_cast<QDialog*>(d)->reject();
  });
  EXPECT_FALSE(RunExpressionWizard(prompts, nullptr).has_value());

  script.Then(Term(kSingleWord, "cat")).Then(Builder("cat", "&Add")).Then([](QWidget* d) {
    qobject_cast<QDialog*>(d)->reject();
  });
  EXPECT_FALSE(RunExpressionWizard(prompts, nullptr).has_value());
}

TEST(ExpressionWizardTest, TermPageStaysOpenOnAMissingFieldAndTagControlsFollowTheType) {
  ScriptedPrompts prompts;
  CExpressionWizard wizard(prompts);
  wizard.show();
  Child<QRadioButton>(&wizard, "nodeType2")->setChecked(true);
  wizard.next();
  auto* tag = Child<QComboBox>(&wizard, "tag");
  EXPECT_TRUE(tag->isEnabled());
  EXPECT_EQ(tag->itemText(0), "A");
  EXPECT_EQ(Child<QComboBox>(&wizard, "property")->itemText(2), "QMINNERTEXT");
  Child<QLineEdit>(&wizard, "text")->setText("offer");
  wizard.button(QWizard::FinishButton)->click();
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"No HTML tag specified."});
  EXPECT_NE(wizard.result(), QDialog::Accepted);

  // Back to a single word: the tag keeps its value but is not used.
  tag->setEditText("TITLE");
  wizard.back();
  Child<QRadioButton>(&wizard, "nodeType0")->setChecked(true);
  wizard.next();
  EXPECT_FALSE(tag->isEnabled());
  EXPECT_EQ(tag->currentText(), "TITLE");
  wizard.button(QWizard::FinishButton)->click();
  EXPECT_EQ(wizard.result(), QDialog::Accepted);
  EXPECT_EQ(wizard.term(), "offer");
}

}  // namespace
}  // namespace trovelane::ui
