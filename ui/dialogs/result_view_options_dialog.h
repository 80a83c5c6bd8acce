// "Result View Options": the three looks of the results list. OK stores them,
// saves "qmknet.dat" and tells the results list through viewOptionsChanged(),
// which the main window connects to apply them at once. A save that fails
// is reported and the dialog stays open.
//
// Owner thread: the UI thread; the caller keeps `state` alive.
#pragma once

#include <QDialog>

#include "app/program_state.h"
#include "ui/prompts.h"

class QCheckBox;

namespace trovelane::ui {

class ResultViewOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  ResultViewOptionsDialog(ProgramState& state, UserPrompts& prompts, QWidget* parent = nullptr);

  void accept() override;

 signals:
  void viewOptionsChanged(const trovelane::ViewOptions& options);

 private:
  ProgramState& state_;
  UserPrompts& prompts_;
  QCheckBox* fullRow_ = nullptr;
  QCheckBox* gridLines_ = nullptr;
  QCheckBox* toolTips_ = nullptr;
};

}  // namespace trovelane::ui
