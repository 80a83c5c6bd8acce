#include "ui/dialogs/prompts.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace trovelane::ui {
namespace {

Prompts& Current() {
  static Prompts prompts;
  return prompts;
}

QString RunFileDialog(QWidget* parent, const FileRequest& request, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, request.caption);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                     : QFileDialog::ExistingFile);
  if (!request.filter.isEmpty()) dialog.setNameFilter(request.filter);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (request.executablesOnly) {
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
  }
  if (!request.initialName.isEmpty() && !request.initialName.contains('*')) {
    QFileInfo info(request.initialName);
    if (info.isAbsolute()) dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
  if (Current().message) {
    Current().message(parent, text);
    return;
  }
  QMessageBox::warning(parent, kMessageCaption, text);
}

QString AskOpenFileName(QWidget* parent, const FileRequest& request) {
  if (Current().openFile) return Current().openFile(parent, request);
  return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

QString AskSaveFileName(QWidget* parent, const FileRequest& request) {
  if (Current().saveFile) return Current().saveFile(parent, request);
  return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

Prompts SetPrompts(Prompts prompts) {
  Prompts before = std::move(Current());
  Current() = std::move(prompts);
  return before;
}

}  // namespace trovelane::ui
