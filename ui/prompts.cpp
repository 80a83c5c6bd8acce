#include "ui/prompts.h"

#include <QDir>
#include <QFileDialog>

namespace trovelane::ui {
namespace {

QString Caption() { return QString::fromUtf8(kProgramCaption); }

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

void DesktopPrompts::Inform(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, Caption(), text, QMessageBox::Ok);
}

bool DesktopPrompts::YesNo(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, Caption(), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QMessageBox::StandardButton DesktopPrompts::YesNoCancel(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, Caption(), text,
                               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                               QMessageBox::Yes);
}

QString DesktopPrompts::OpenFileName(QWidget* parent, const FileRequest& request) {
  return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

QString DesktopPrompts::SaveFileName(QWidget* parent, const FileRequest& request) {
  return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

}  // namespace trovelane::ui
