#include "ui/dialogs/search_profiles_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engines/profile.h"
#include "ui/caption_fit.h"
#include "ui/dialogs/name_value_dialog.h"

namespace trovelane::ui {

SearchProfilesDialog::SearchProfilesDialog(ProgramState& state, UserPrompts& prompts,
                                           QWidget* parent)
    : QDialog(parent), state_(state), prompts_(prompts) {
  setWindowTitle("t r o v e l a n e Search Profiles");
  KeepCaptionWhole(this);
  combo_ = new QComboBox;
  combo_->setObjectName("profiles");
  combo_->setMinimumWidth(240);

  auto* add = new QPushButton("&Add");
  add->setObjectName("add");
  add->setAutoDefault(false);
  auto* remove = new QPushButton("&Remove");
  remove->setObjectName("remove");
  remove->setAutoDefault(false);
  connect(add, &QPushButton::clicked, this, [this] { AddProfile(); });
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(combo_, 1);
  row->addWidget(add);
  row->addWidget(remove);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Current Profile"));
  layout->addLayout(row);
  layout->addWidget(box);

  int current = ReadProfileList(state_.ProfileListFile(), profiles_, state_.currentProfilePath);
  Refill(current);
}

void SearchProfilesDialog::Refill(int select) {
  combo_->clear();
  for (const SearchProfile& profile : profiles_)
    combo_->addItem(QString::fromStdString(profile.name));
  combo_->setCurrentIndex(select);
}

void SearchProfilesDialog::AddProfile() {
  NameValueDialog dialog(NameValueDialog::Mode::Profile, prompts_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  SearchProfile profile{dialog.name().toStdString(), dialog.value().toStdString()};
  // The list file keeps one profile per line, so a name or path that would
  // not read back the same is refused here.
  if (Status checked = CheckSearchProfile(profile); !checked.ok()) {
    prompts_.Inform(this, QString::fromStdString(checked.message()));
    return;
  }
  int selected = combo_->currentIndex();
  profiles_.push_back(std::move(profile));
  Refill(selected);
}

void SearchProfilesDialog::RemoveSelected() {
  int selected = combo_->currentIndex();
  if (selected < 0 || selected >= static_cast<int>(profiles_.size())) return;
  profiles_.erase(profiles_.begin() + selected);
  Refill(profiles_.empty() ? -1 : std::min<int>(selected, static_cast<int>(profiles_.size()) - 1));
}

void SearchProfilesDialog::accept() {
  std::string selectedPath;
  Status saved =
      WriteProfileList(state_.ProfileListFile(), profiles_, combo_->currentIndex(), selectedPath);
  if (!saved.ok()) {
    prompts_.Inform(this, QString::fromStdString(saved.message()));
    return;
  }
  state_.currentProfilePath = selectedPath;
  std::string file = state_.CurrentProfileFile();
  if (file.empty()) {
    state_.catalogue.engines.clear();
  } else {
    // A profile that cannot be opened leaves the catalogue empty, which the
    // engine list then shows.
    LoadProfile(file, state_.catalogue).IgnoreError();
  }
  emit profilesChanged();
  QDialog::accept();
}

}  // namespace trovelane::ui
