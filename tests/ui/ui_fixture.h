// Window tests against the sample engines on loopback: a fresh install
// folder, the program state the start-up makes of it with a catalogue of the
// server's engines, a main window, and prompts that answer as a test says
// and record what was asked.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/program_state.h"
#include "tests/support/example_home.h"
#include "tests/support/scratch_folder.h"
#include "tests/ui/qt_app.h"
#include "tests/ui/scripted_prompts.h"
#include "tools/sample_engines/sample_server.h"
#include "ui/main_window.h"
#include "ui/search_bridge.h"

namespace trovelane::ui::testing {

class UiTest : public ::testing::Test {
 protected:
  static sample::SampleServerOptions Options() {
    sample::SampleServerOptions o;
    o.maxResultPages = 2;
    o.latencyMs = 50;
    return o;
  }
  explicit UiTest(sample::SampleServerOptions options = Options()) : server_(options) {}

  void SetUp() override {
    TestApplication();
    // Each test starts as a first start: its own window habits.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(home_.File("config")));
    const Status serving = server_.Start();
    ASSERT_TRUE(serving.ok()) << serving.message();
    trovelane::testing::PrepareExampleHome(home_.path());
    StartUpOptions options;
    options.home = home_.path().string();
    options.detectBrowser = [] { return std::string(); };
    Status started = StartUp(options, state_);
    ASSERT_TRUE(started.ok()) << started.message();
    state_.settings.search.maxResults = 1000;
    Use({"offset0", "page1"});
    MakeWindow();
  }

  void TearDown() override {
    frame_.reset();
    server_.Stop();
  }

  void MakeWindow() {
    frame_ = std::make_unique<CMainFrame>(state_, prompts_);
    frame_->openUrl = [this](const std::string& url) {
      opened_.push_back(url);
      return true;
    };
    frame_->launchBrowser = [this](const std::string& browser, const std::string& url) {
      launched_.push_back(browser + " " + url);
      return true;
    };
    frame_->openHelpFile = [this](const std::string& path) {
      helpOpened_.push_back(path);
      return true;
    };
  }

  // The catalogue holds these engines of the server, in this order, all selected.
  void Use(const std::vector<std::string>& names) {
    const EngineCatalogue all = server_.Catalogue();
    state_.catalogue.engines.clear();
    for (const std::string& name : names) {
      for (const EngineDefinition& e : all.engines) {
        if (e.name == name) state_.catalogue.engines.push_back(e);
      }
    }
  }

  // Types `text` into the expression box and presses Enter. The keys go to
  // the box, which has the focus, as the window system's keys do.
  void TypeAndEnter(const QString& text) {
    frame_->expressionBox()->lineEdit()->clear();
    QTest::keyClicks(frame_->expressionBox(), text);
    QTest::keyClick(frame_->expressionBox(), Qt::Key_Return);
  }

  // Serves the event loop until `done` holds; false after a generous guard.
  template <typename Predicate>
  static bool WaitFor(Predicate done, int guardMs = 60000) {
    return QTest::qWaitFor(done, guardMs);
  }

  // A whole search through the window: typed, Enter, served to its end.
  bool SearchFor(const QString& text) {
    TypeAndEnter(text);
    if (!frame_->IsSearching()) return false;
    return WaitFor([this] { return !frame_->IsSearching(); });
  }

  sample::SampleServer server_;
  ::trovelane::testing::ScratchFolder home_;
  ProgramState state_;
  ScriptedPrompts prompts_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<std::string> opened_;
  std::vector<std::string> launched_;
  std::vector<std::string> helpOpened_;
};

}  // namespace trovelane::ui::testing
