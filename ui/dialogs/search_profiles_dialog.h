// "t r o v e l a n e Search Profiles": the list of search profiles and the
// current one. Add and Remove change only the dialog's list; OK writes
// "qmkprfl.dat", makes the chosen profile current, loads its engines into
// the catalogue and tells the main window through profilesChanged().
// Closing the dialog any other way discards the changes. Neither Add nor
// Remove touches a profile file.
//
// Owner thread: the UI thread; the caller keeps `state` alive and runs no
// search while the dialog is open.
#pragma once

#include <QDialog>
#include <vector>

#include "engines/profile_list.h"
#include "app/program_state.h"
#include "ui/prompts.h"

class QComboBox;

namespace trovelane::ui {

class SearchProfilesDialog : public QDialog {
  Q_OBJECT

 public:
  SearchProfilesDialog(ProgramState& state, UserPrompts& prompts, QWidget* parent = nullptr);

  QComboBox* profileList() const { return combo_; }

  void AddProfile();
  void RemoveSelected();
  void accept() override;

 signals:
  // The list file was written and the current profile (re)loaded.
  void profilesChanged();

 private:
  void Refill(int select);

  ProgramState& state_;
  UserPrompts& prompts_;
  std::vector<SearchProfile> profiles_;
  QComboBox* combo_ = nullptr;
};

}  // namespace trovelane::ui
