// The small dialog that asks for one name, or a name and a value: a wizard's
// parameter, file type, skipped domain or cookie page, and a search profile.
// The texts are taken as typed; the caller decides what to do with them. OK
// refuses an empty name (and an empty profile path): such an entry would be
// stored as an invisible, useless line.
#pragma once

#include <QDialog>

#include "ui/prompts.h"

class QLabel;
class QLineEdit;

namespace trovelane::ui {

class NameValueDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { Parameter, FileType, Profile, DomainUrl, Cookie };

  NameValueDialog(Mode mode, UserPrompts& prompts, QWidget* parent = nullptr);

  QString name() const;
  QString value() const;  // empty in the modes without a value field
  bool hasValueField() const { return hasValue_; }

  QLineEdit* nameEdit() const { return nameEdit_; }
  QLineEdit* valueEdit() const { return valueEdit_; }

  void accept() override;

 private:
  UserPrompts& prompts_;
  bool hasValue_ = false;
  bool valueRequired_ = false;
  QString nameLabel_;
  QString valueLabel_;
  QLineEdit* nameEdit_ = nullptr;
  QLineEdit* valueEdit_ = nullptr;
};

}  // namespace trovelane::ui
