// "t r o v e l a n e Internet Settings": the proxy, the connection speed and
// the web browser of ProxySettings. OK stores the fields into the program's
// settings and saves "qmknet.dat" at once; a value the file cannot hold (a
// text longer than its field, a ":" in the user name or password) is
// reported and the dialog stays open, as is a port outside 1..65535. The user
// name and password are stored only while both checks are on and the user
// changed them; otherwise the stored credentials are kept.
// The time-outs, the page limit and the bounds of the validation fetches of
// "trovelane.json" are edited here too and saved to that file by the same OK.
//
// Owner thread: the UI thread; the caller keeps `state` alive.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/program_state.h"
#include "ui/prompts.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace trovelane::ui {

class InternetSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // `detectBrowser` answers "&Default"; empty means DetectDefaultBrowser.
  InternetSettingsDialog(ProgramState& state, UserPrompts& prompts,
                         std::function<std::string()> detectBrowser = {},
                         QWidget* parent = nullptr);

  void accept() override;

 signals:
  void settingsSaved();

 private:
  void ApplyEnabling();
  void BrowseForBrowser();

  ProgramState& state_;
  UserPrompts& prompts_;
  std::function<std::string()> detectBrowser_;
  int speedIndex_ = 0;
  QString shownUser_;  // what "User" and "Pass" showed at opening
  QString shownPassword_;
  QCheckBox* useProxy_ = nullptr;
  QLineEdit* host_ = nullptr;
  QLineEdit* port_ = nullptr;
  QRadioButton* cern_ = nullptr;
  QRadioButton* socks_ = nullptr;
  QCheckBox* requiresAuth_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QComboBox* speed_ = nullptr;
  QLineEdit* browser_ = nullptr;
  QLineEdit* connectTimeout_ = nullptr;
  QLineEdit* readTimeout_ = nullptr;
  QLineEdit* maxPages_ = nullptr;
  QLineEdit* validationsPerEngine_ = nullptr;
  QLineEdit* validationsPerSearch_ = nullptr;
};

}  // namespace trovelane::ui
