// "Search Settings": the engines of the current profile and the search
// option pages. The engine list edits the program's catalogue in place:
// selecting, adding, editing, importing and removing take effect at once,
// and stay in memory even when the dialog is cancelled. OK saves the profile
// and then the option pages into "qmknet.dat"; a save that fails is reported
// and the dialog stays open.
//
// Owner thread: the UI thread. The caller keeps `state` alive and runs no
// search while the dialog is open.
#pragma once

#include <QDialog>

#include "app/program_state.h"
#include "ui/prompts.h"

class QMenu;
class QTableWidget;

namespace trovelane::ui {

class OptionsSheet;

class SearchSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SearchSettingsDialog(ProgramState& state, UserPrompts& prompts, QWidget* parent = nullptr);

  QTableWidget* engineList() const { return engines_; }
  OptionsSheet* optionsSheet() const { return options_; }

  // The list's context menu: "&Edit", "E&xport", "&Remove". The caller owns it.
  QMenu* MakeContextMenu();

  // The commands of the buttons and the context menu; each one that needs a
  // row works on the selected one and does nothing without it.
  void AddEngine();
  void RemoveSelected();
  void ImportEngine();
  void ExportSelected();
  // The double click's Edit (after its click inverted the engine, so it
  // inverts it back) and the context menu's.
  void EditSelected();
  // The "&Edit" button's: the engine's selection stays as it is.
  void EditSelectedAsIs();
  // A click on a row: inverts that engine's "selected".
  void ToggleRow(int row);

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The profile and the options were saved by OK.
  void settingsSaved();

 private:
  void Refill();
  void UpdateRowIcon(int row);
  void EditRow(int row, bool invertFirst);
  int SelectedRow() const;

  ProgramState& state_;
  UserPrompts& prompts_;
  QTableWidget* engines_ = nullptr;
  OptionsSheet* options_ = nullptr;
};

}  // namespace trovelane::ui
