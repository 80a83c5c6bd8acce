#include "ui/prompts.h"

#include <QFileDialog>
#include <QPointer>

namespace trovelane::ui {

UserPrompts DesktopPrompts(QWidget* parent, const QString& caption) {
  QPointer<QWidget> owner(parent);
  UserPrompts p;
  p.yesNo = [owner, caption](const QString& text) {
    return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };
  p.yesNoCancel = [owner, caption](const QString& text) {
    return QMessageBox::question(owner, caption, text,
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                 QMessageBox::Yes);
  };
  p.inform = [owner, caption](const QString& text) {
    QMessageBox::warning(owner, caption, text, QMessageBox::Ok);
  };
  p.openFileName = [owner](const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(owner, title, QString(), filter);
  };
  p.saveFileName = [owner](const QString& title, const QString& suggested, const QString& filter) {
    return QFileDialog::getSaveFileName(owner, title, suggested, filter);
  };
  return p;
}

}  // namespace trovelane::ui
