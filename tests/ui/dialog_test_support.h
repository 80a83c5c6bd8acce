// Helpers for driving the dialogs offscreen: a program state in a scratch
// install folder with ScriptedPrompts to give the dialogs, and a script that
// answers the modal dialogs a command opens, in the order they appear.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "tests/support/example_home.h"
#include "tests/support/scratch_folder.h"
#include "tests/ui/qt_app.h"
#include "tests/ui/scripted_prompts.h"

namespace trovelane::ui::testing {

// The offscreen platform warns on every dialog it shows that it cannot pass
// size hints to a window system; that line says nothing about the test.
inline QtMessageHandler& StandardMessageHandler() {
  static QtMessageHandler handler = nullptr;
  return handler;
}
inline void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext& context,
                                   const QString& text) {
  if (text.contains("propagateSizeHints")) return;
  if (StandardMessageHandler()) StandardMessageHandler()(type, context, text);
}
inline const bool kQuietInstalled =
    (StandardMessageHandler() = qInstallMessageHandler(QuietOffscreenWarnings), true);

// Finds a named child widget of `parent`; fails the test when there is none.
template <typename T>
T* Child(QObject* parent, const QString& name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << "no child " << name.toStdString();
  return child;
}

inline std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += (all.empty() ? "" : " | ") + line;
  return all;
}

// The push button whose text is `text` (with its "&"), among `parent`'s children.
inline QAbstractButton* ButtonByText(QObject* parent, const QString& text) {
  for (QAbstractButton* button : parent->findChildren<QAbstractButton*>()) {
    if (button->text() == text) return button;
  }
  ADD_FAILURE() << "no button " << text.toStdString();
  return nullptr;
}

// A double click as a mouse makes it: press, release, the double-click press
// and release. QTest::mouseDClick alone sends only the double-click event.
inline void DoubleClickAt(QWidget* widget, QPoint at) {
  QTest::mousePress(widget, Qt::LeftButton, {}, at);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
  QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

// Answers the modal dialogs opened while it lives, one action per dialog in
// the order they appear. An action runs outside the timer that spotted the
// dialog, so it may open a further modal dialog itself. A dialog without an
// action is rejected and fails the test.
class ModalScript {
 public:
  using Action = std::function<void(QWidget* dialog)>;

  ModalScript() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(5);
  }
  ~ModalScript() {
    EXPECT_TRUE(actions_.empty()) << actions_.size() << " dialog(s) never appeared";
  }

  ModalScript& Then(Action action) {
    actions_.push_back(std::move(action));
    return *this;
  }

  std::vector<std::string> titles;  // the window titles of the dialogs answered

 private:
  void Tick() {
    // A dialog counts as answered while it stays visible: one that waits
    // under a nested dialog is not answered again when it is on top once
    // more, but one shown anew after it was hidden is.
    std::erase_if(handled_, [](const QPointer<QWidget>& w) { return !w || !w->isVisible(); });
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible()) return;
    for (const QPointer<QWidget>& w : handled_) {
      if (w == dialog) return;
    }
    handled_.emplace_back(dialog);
    titles.push_back(dialog->windowTitle().toStdString());
    QPointer<QWidget> target(dialog);
    if (actions_.empty()) {
      ADD_FAILURE() << "unexpected dialog \"" << titles.back() << "\"";
      QTimer::singleShot(0, [target] {
        if (auto* d = qobject_cast<QDialog*>(target.data())) d->reject();
      });
      return;
    }
    Action action = std::move(actions_.front());
    actions_.pop_front();
    QTimer::singleShot(0, [target, action] {
      if (target) action(target.data());
    });
  }

  QTimer timer_;
  std::deque<Action> actions_;
  std::vector<QPointer<QWidget>> handled_;
};

// A started program over a fresh install folder (seeded, with the example
// profile of two engines current); the browser detection answers a fixed path.
struct ProgramFixture : ::testing::Test {
  void SetUp() override {
    trovelane::testing::PrepareExampleHome(scratch.path());
    StartUpOptions options;
    options.home = scratch.path().string();
    options.detectBrowser = [] { return std::string("/opt/test/browser"); };
    Status started = StartUp(options, state);
    ASSERT_TRUE(started.ok()) << started.message();
  }

  trovelane::testing::ScratchFolder scratch;
  ProgramState state;
  ScriptedPrompts prompts;
};

}  // namespace trovelane::ui::testing
