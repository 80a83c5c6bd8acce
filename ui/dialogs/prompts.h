// The simple questions the dialogs put to the user: a message with an OK
// button, and the name of a file to open or to save. Each goes through a
// replaceable function, so that tests answer them without a modal loop;
// by default they are the standard message box and file dialog.
//
// Owner thread: the UI thread only.
#pragma once

#include <QString>
#include <functional>

#include "ui/prompts.h"

class QWidget;

namespace trovelane::ui {

struct Prompts {
  std::function<void(QWidget* parent, const QString& text)> message;
  // The chosen file, or an empty text when the user cancelled.
  std::function<QString(QWidget* parent, const FileRequest& request)> openFile;
  // As openFile; the standard dialog asks before overwriting a file.
  std::function<QString(QWidget* parent, const FileRequest& request)> saveFile;
};

void ShowMessage(QWidget* parent, const QString& text);
QString AskOpenFileName(QWidget* parent, const FileRequest& request);
QString AskSaveFileName(QWidget* parent, const FileRequest& request);

// Replaces the prompts; a member left empty uses the standard dialog.
// Returns the prompts in use before.
Prompts SetPrompts(Prompts prompts);

}  // namespace trovelane::ui
