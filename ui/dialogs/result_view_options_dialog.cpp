#include "ui/dialogs/result_view_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "app/settings_file.h"
#include "ui/caption_fit.h"

namespace trovelane::ui {

ResultViewOptionsDialog::ResultViewOptionsDialog(ProgramState& state, UserPrompts& prompts,
                                                 QWidget* parent)
    : QDialog(parent), state_(state), prompts_(prompts) {
  setWindowTitle("Result View Options");
  KeepCaptionWhole(this);
  fullRow_ = new QCheckBox("Full Row Selection");
  fullRow_->setObjectName("fullRow");
  gridLines_ = new QCheckBox("Show Grid Lines");
  gridLines_->setObjectName("gridLines");
  toolTips_ = new QCheckBox("Tool Tips");
  toolTips_->setObjectName("toolTips");
  const ViewOptions& view = state_.settings.view;
  fullRow_->setChecked(view.fullRowSelect != 0);
  gridLines_->setChecked(view.gridLines != 0);
  toolTips_->setChecked(view.toolTips != 0);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fullRow_);
  layout->addWidget(gridLines_);
  layout->addWidget(toolTips_);
  layout->addWidget(box);
}

void ResultViewOptionsDialog::accept() {
  NetworkSettings settings = state_.settings;
  settings.view.fullRowSelect = fullRow_->isChecked() ? 1 : 0;
  settings.view.gridLines = gridLines_->isChecked() ? 1 : 0;
  settings.view.toolTips = toolTips_->isChecked() ? 1 : 0;
  if (Status saved = SaveNetworkSettings(state_.SettingsFile(), settings); !saved.ok()) {
    prompts_.Inform(this, QString::fromStdString(saved.message()));
    return;
  }
  state_.settings.view = settings.view;
  emit viewOptionsChanged(state_.settings.view);
  QDialog::accept();
}

}  // namespace trovelane::ui
