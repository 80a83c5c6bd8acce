// What a user types to add the sample engine offset0 (served at `base`)
// through Search Settings' "&Add": the choice "Configure a search engine.",
// then the wizard's pages one by one, with the name/value dialogs they open.
#pragma once

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <string>

#include "tests/ui/dialog_test_support.h"
#include "ui/dialogs/engine_wizard.h"
#include "ui/dialogs/name_value_dialog.h"

namespace trovelane::ui::testing {

// Types a line into the name/value dialog that "+" or "&Add" opens.
inline ModalScript::Action TypeEntry(const QString& name, const QString& value = {}) {
  return [name, value](QWidget* d) {
    auto* dialog = qobject_cast<NameValueDialog*>(d);
    ASSERT_NE(dialog, nullptr);
    dialog->nameEdit()->setText(name);
    if (dialog->hasValueField()) dialog->valueEdit()->setText(value);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  };
}

// Queues the answers; the caller then presses "&Add".
inline void QueueConfigureOffset0(ModalScript& script, const std::string& base) {
  script.Then([](QWidget* d) {
    Child<QRadioButton>(d, "configureEngine")->setChecked(true);
    ButtonByText(d, "&Next >")->click();
  });
  script.Then([base, &script](QWidget* d) {
    auto* wizard = qobject_cast<EngineWizard*>(d);
    ASSERT_NE(wizard, nullptr);
    auto type = [wizard](const char* name, const QString& text) {
      QLineEdit* edit = Child<QLineEdit>(wizard, name);
      edit->clear();
      QTest::keyClicks(edit, text);
    };
    auto next = [wizard] { wizard->button(QWizard::NextButton)->click(); };
    type("name", "offset0");
    type("searchUrl", QString::fromStdString(base + "/offset0/search"));
    type("searchTextId", "q");
    type("resultsPerPage", "10");
    type("resultId", "start");
    Child<QRadioButton>(wizard, "technique0")->click();
    next();
    Child<QCheckBox>(wizard, "useBoolean")->click();
    type("andOperator", "+");
    type("orOperator", "+OR+");
    type("notOperator", "-");
    type("exactOperator", "%22");
    next();
    script.Then(TypeEntry("html"));
    Child<QPushButton>(wizard, "searchedFileTypesAdd")->click();
    next();
    next();
    next();
    next();
    next();
    ASSERT_EQ(wizard->currentId(), EngineWizard::kAdvancedPage);
    script.Then(TypeEntry("hl", "en"));
    Child<QPushButton>(wizard, "addParameter")->click();
    Child<QListWidget>(wizard, "parameters")->setCurrentRow(2);
    Child<QPushButton>(wizard, "upParameter")->click();
    wizard->button(QWizard::FinishButton)->click();
  });
}

}  // namespace trovelane::ui::testing
