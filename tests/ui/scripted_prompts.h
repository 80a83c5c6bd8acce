// ScriptedPrompts: a stand-in for the program's message boxes and file
// dialogs in the window and dialog tests. It records every text and file
// request put to it and answers from what the test set: no modal dialog
// opens.
#pragma once

#include <QString>
#include <deque>
#include <string>
#include <vector>

#include "ui/prompts.h"

namespace trovelane::ui::testing {

class ScriptedPrompts final : public UserPrompts {
 public:
  // What was put to the user, in order: Inform's texts, the questions and
  // the file dialogs asked for.
  std::vector<std::string> messages;
  std::vector<std::string> asked;
  std::vector<FileRequest> requests;
  // The answers: YesNo's (Yes when none is left), YesNoCancel's (No when
  // none is left) and the file dialogs'.
  std::deque<bool> answers;
  std::deque<QMessageBox::StandardButton> threeWayAnswers;
  QString fileToOpen;
  QString fileToSave;

  void Inform(QWidget*, const QString& text) override { messages.push_back(text.toStdString()); }
  bool YesNo(QWidget*, const QString& text) override {
    asked.push_back(text.toStdString());
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QMessageBox::StandardButton YesNoCancel(QWidget*, const QString& text) override {
    asked.push_back(text.toStdString());
    if (threeWayAnswers.empty()) return QMessageBox::No;
    const QMessageBox::StandardButton answer = threeWayAnswers.front();
    threeWayAnswers.pop_front();
    return answer;
  }
  QString OpenFileName(QWidget*, const FileRequest& request) override {
    requests.push_back(request);
    return fileToOpen;
  }
  QString SaveFileName(QWidget*, const FileRequest& request) override {
    requests.push_back(request);
    return fileToSave;
  }
};

}  // namespace trovelane::ui::testing
