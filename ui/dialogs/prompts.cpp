#include "ui/dialogs/prompts.h"

namespace trovelane::ui {
namespace {

Prompts& Current() {
  static Prompts prompts;
  return prompts;
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
  if (Current().message) {
    Current().message(parent, text);
    return;
  }
  DesktopPrompts().Inform(parent, text);
}

QString AskOpenFileName(QWidget* parent, const FileRequest& request) {
  if (Current().openFile) return Current().openFile(parent, request);
  return DesktopPrompts().OpenFileName(parent, request);
}

QString AskSaveFileName(QWidget* parent, const FileRequest& request) {
  if (Current().saveFile) return Current().saveFile(parent, request);
  return DesktopPrompts().SaveFileName(parent, request);
}

Prompts SetPrompts(Prompts prompts) {
  Prompts before = std::move(Current());
  Current() = std::move(prompts);
  return before;
}

}  // namespace trovelane::ui
