#include "ui/dialogs/add_engine_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/caption_fit.h"

namespace trovelane::ui {

AddEngineDialog::AddEngineDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Add Search Engine");
  KeepCaptionWhole(this);
  plugin_ = new QRadioButton("Add a Plugin");
  plugin_->setObjectName("addPlugin");
  configure_ = new QRadioButton("Configure a search engine.");
  configure_->setObjectName("configureEngine");
  plugin_->setChecked(true);

  auto* buttons = new QDialogButtonBox;
  QPushButton* next = buttons->addButton("&Next >", QDialogButtonBox::AcceptRole);
  next->setObjectName("next");
  next->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("I want to :"));
  layout->addWidget(plugin_);
  layout->addWidget(configure_);
  layout->addSpacing(8);
  layout->addWidget(buttons);
}

AddEngineDialog::Choice AddEngineDialog::choice() const {
  return configure_->isChecked() ? kConfigureEngine : kAddPlugin;
}

void AddEngineDialog::setChoice(Choice choice) {
  (choice == kConfigureEngine ? configure_ : plugin_)->setChecked(true);
}

PluginInformationDialog::PluginInformationDialog(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts) {
  setWindowTitle("Plugin Information");
  KeepCaptionWhole(this);
  fileName_ = new QLineEdit;
  fileName_->setObjectName("pluginFile");
  fileName_->setMinimumWidth(440);
  auto* hint = new QLabel(
      "Enter the name of the plugin dll below. Plugins are copied in the plugins directory of "
      "t r o v e l a n e.");
  hint->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Plugin DLL"));
  layout->addWidget(hint);
  layout->addWidget(fileName_);
  layout->addWidget(buttons);
}

void PluginInformationDialog::accept() {
  if (fileName_->text().trimmed().isEmpty()) {
    prompts_.Inform(this, QStringLiteral("Enter the file name of the plugin."));
    fileName_->setFocus();
    return;
  }
  QDialog::accept();
}

QString PluginInformationDialog::fileName() const { return fileName_->text(); }

}  // namespace trovelane::ui
