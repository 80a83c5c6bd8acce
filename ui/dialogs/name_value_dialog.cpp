#include "ui/dialogs/name_value_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/caption_fit.h"

namespace trovelane::ui {
namespace {

struct ModeTexts {
  const char* title;
  const char* nameLabel;
  const char* valueLabel;  // null: the mode asks for a name only
};

ModeTexts TextsOf(NameValueDialog::Mode mode) {
  switch (mode) {
    case NameValueDialog::Mode::Parameter:
      return {"Add Search Engine Parameter", "Parameter Name", "Default value"};
    case NameValueDialog::Mode::FileType:
      return {"File Type", "File Type", nullptr};
    case NameValueDialog::Mode::Profile:
      return {"Search Profiles", "Profile Name", "Profile path"};
    case NameValueDialog::Mode::DomainUrl:
      return {"Domain/URL", "Domain/URL", nullptr};
    case NameValueDialog::Mode::Cookie:
      return {"Cookie URL", "Cookie URL", nullptr};
  }
  return {"", "", nullptr};
}

}  // namespace

NameValueDialog::NameValueDialog(Mode mode, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts) {
  ModeTexts texts = TextsOf(mode);
  setWindowTitle(texts.title);
  KeepCaptionWhole(this);
  hasValue_ = texts.valueLabel != nullptr;
  valueRequired_ = mode == Mode::Profile;
  nameLabel_ = texts.nameLabel;
  if (hasValue_) valueLabel_ = texts.valueLabel;

  auto* form = new QFormLayout;
  nameEdit_ = new QLineEdit;
  nameEdit_->setObjectName("name");
  nameEdit_->setMinimumWidth(260);
  form->addRow(texts.nameLabel, nameEdit_);
  valueEdit_ = new QLineEdit;
  valueEdit_->setObjectName("value");
  if (hasValue_) {
    form->addRow(texts.valueLabel, valueEdit_);
  } else {
    valueEdit_->hide();
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setSizeGripEnabled(false);
}

void NameValueDialog::accept() {
  QLineEdit* empty = nameEdit_->text().trimmed().isEmpty() ? nameEdit_
                     : valueRequired_ && valueEdit_->text().trimmed().isEmpty() ? valueEdit_
                                                                               : nullptr;
  if (empty) {
    prompts_.Inform(
        this,
        QStringLiteral("%1 cannot be empty.").arg(empty == nameEdit_ ? nameLabel_ : valueLabel_));
    empty->setFocus();
    return;
  }
  QDialog::accept();
}

QString NameValueDialog::name() const { return nameEdit_->text(); }

QString NameValueDialog::value() const { return hasValue_ ? valueEdit_->text() : QString(); }

}  // namespace trovelane::ui
