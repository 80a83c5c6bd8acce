// "t r o v e l a n e Rank and Engine Options": the program-wide domain rules
// of the rank order (domains never listed, rank factors by domain) and the
// two addresses engines may ask for (the contact address their User-Agent
// names, the user's SearXNG instance), all kept in "trovelane.json".
//
// OK reads each field with the parser the settings command uses; a value it
// refuses is reported with its reason and the dialog stays open, nothing
// saved. Otherwise the options are saved at once, and a SearXNG address
// given anew takes the current profile's SearXNG engines into searches
// (SelectInstanceEngines).
//
// Owner thread: the UI thread; the caller keeps `state` alive.
#pragma once

#include <QDialog>

#include "app/program_state.h"
#include "ui/prompts.h"

class QLineEdit;

namespace trovelane::ui {

class RankOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  RankOptionsDialog(ProgramState& state, UserPrompts& prompts, QWidget* parent = nullptr);

  void accept() override;

 signals:
  // The options were saved (and engines may have been selected).
  void settingsSaved();

 private:
  ProgramState& state_;
  UserPrompts& prompts_;
  QLineEdit* hiddenDomains_ = nullptr;
  QLineEdit* domainFactors_ = nullptr;
  QLineEdit* contact_ = nullptr;
  QLineEdit* searxng_ = nullptr;
};

}  // namespace trovelane::ui
