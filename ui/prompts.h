// The messages, questions and file choices the program puts to the user,
// behind one interface. The main window, its commands and every dialog are
// given the UserPrompts they use, so that tests can answer in place of a
// modal dialog. DesktopPrompts is the program's own: message boxes and file
// dialogs.
//
// Each call names the widget it comes from; the message box or file dialog
// is modal over that widget's window.
//
// Threads: user-interface thread only.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace trovelane::ui {

// The caption of the program's message boxes.
inline constexpr const char* kProgramCaption = "t r o v e l a n e";

struct FileRequest {
  QString caption{};
  QString initialName{};         // a name or path the dialog starts with
  QString filter{};              // e.g. "Search Engine Configuration Files (*.eng)"
  QString defaultSuffix{};       // added to a name typed without one
  bool executablesOnly = false;  // list only files the user may run
};

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;

  // A message with an OK button (errors and refusals).
  virtual void Inform(QWidget* parent, const QString& text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool YesNo(QWidget* parent, const QString& text) = 0;
  // Yes/No/Cancel; returns QMessageBox::Yes, No or Cancel.
  virtual QMessageBox::StandardButton YesNoCancel(QWidget* parent, const QString& text) = 0;
  // A file to open or to save to; empty when the user cancelled. The save
  // dialog asks before it overwrites a file.
  virtual QString OpenFileName(QWidget* parent, const FileRequest& request) = 0;
  virtual QString SaveFileName(QWidget* parent, const FileRequest& request) = 0;
};

// Message boxes captioned kProgramCaption, and the file dialog.
class DesktopPrompts final : public UserPrompts {
 public:
  void Inform(QWidget* parent, const QString& text) override;
  bool YesNo(QWidget* parent, const QString& text) override;
  QMessageBox::StandardButton YesNoCancel(QWidget* parent, const QString& text) override;
  QString OpenFileName(QWidget* parent, const FileRequest& request) override;
  QString SaveFileName(QWidget* parent, const FileRequest& request) override;
};

}  // namespace trovelane::ui
