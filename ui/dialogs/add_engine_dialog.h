// The two small dialogs of the Search Settings' "&Add": the "Add Search
// Engine" choice ("I want to :") and the "Plugin Information" dialog that
// asks for a plug-in library's file name.
#pragma once

#include <QDialog>

#include "ui/prompts.h"

class QLineEdit;
class QRadioButton;

namespace trovelane::ui {

class AddEngineDialog : public QDialog {
  Q_OBJECT

 public:
  enum Choice { kAddPlugin = 0, kConfigureEngine = 1 };

  explicit AddEngineDialog(QWidget* parent = nullptr);

  Choice choice() const;
  void setChoice(Choice choice);

 private:
  QRadioButton* plugin_ = nullptr;
  QRadioButton* configure_ = nullptr;
};

class PluginInformationDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PluginInformationDialog(UserPrompts& prompts, QWidget* parent = nullptr);

  QString fileName() const;
  QLineEdit* fileNameEdit() const { return fileName_; }

  // Refuses an empty file name.
  void accept() override;

 private:
  UserPrompts& prompts_;
  QLineEdit* fileName_ = nullptr;
};

}  // namespace trovelane::ui
