// The questions and file choices the windows put to the user, as functions
// the windows call, so that tests can answer them without a modal dialog.
// DesktopPrompts gives the real ones: message boxes and file dialogs.
//
// Threads: user-interface thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace trovelane::ui {

struct UserPrompts {
  // A Yes/No question with the question icon; true for Yes.
  std::function<bool(const QString& text)> yesNo;
  // Yes/No/Cancel; returns QMessageBox::Yes, No or Cancel.
  std::function<QMessageBox::StandardButton(const QString& text)> yesNoCancel;
  // A message with an OK button (errors and refusals).
  std::function<void(const QString& text)> inform;
  // A file to open or to save to; empty when the user cancelled.
  std::function<QString(const QString& caption, const QString& filter)> openFileName;
  std::function<QString(const QString& caption, const QString& suggested, const QString& filter)>
      saveFileName;
};

// Message boxes and file dialogs over `parent`, captioned `caption`.
UserPrompts DesktopPrompts(QWidget* parent, const QString& caption);

}  // namespace trovelane::ui
