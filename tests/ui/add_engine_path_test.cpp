// The whole road of a user who adds a search engine: "Search Settings",
// "&Add", "Configure a search engine.", the seven wizard pages typed in,
// "Finish", "OK"; then a search over the saved profile finds the engine's
// results. The engine is offset0 of the sample engines, served in this
// process on loopback.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>

#include "engines/profile.h"
#include "search/search_run.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/sample_engine_wizard.h"
#include "tools/sample_engines/sample_server.h"
#include "ui/dialogs/search_settings_dialog.h"

namespace trovelane::ui {
namespace {

using testing::Child;
using testing::ModalScript;

class Collected : public SearchEvents {
 public:
  void OnResult(const ResultHandoff& result) override { urls.push_back(result.url); }
  std::vector<std::string> urls;
};

class AddEnginePathTest : public testing::ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    sample::SampleServerOptions options;
    options.maxResultPages = 2;
    server_ = std::make_unique<sample::SampleServer>(options);
    const Status started = server_->Start();
    ASSERT_TRUE(started.ok()) << started.message();
  }
  void TearDown() override { server_->Stop(); }

  EngineDefinition ServersOwnDefinition() const {
    for (const EngineDefinition& e : server_->Catalogue().engines) {
      if (e.name == "offset0") return e;
    }
    ADD_FAILURE() << "the server has no offset0";
    return {};
  }

  std::unique_ptr<sample::SampleServer> server_;
};

TEST_F(AddEnginePathTest, ConfiguredEngineIsSavedAndFindsItsResults) {
  std::string base = server_->BaseUrl();
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();

  // The two example engines of a first start point nowhere: take them out.
  for (int row = 0; row < 2; ++row) {
    QTableWidget* list = dialog.engineList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row, 0)).center());
  }

  ModalScript script;
  testing::QueueConfigureOffset0(script, base);
  Child<QPushButton>(&dialog, "add")->click();
  ASSERT_EQ(dialog.engineList()->rowCount(), 3);

  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << testing::Join(prompts.messages);

  // The saved definition is the one the server itself publishes.
  EngineCatalogue saved;
  ASSERT_TRUE(LoadProfile(state.CurrentProfileFile(), saved).ok());
  ASSERT_EQ(saved.engines.size(), 3u);
  EXPECT_EQ(saved.engines[0].selected, 0);
  EXPECT_EQ(saved.engines[1].selected, 0);
  EXPECT_EQ(saved.engines[2], ServersOwnDefinition());

  // A search over the saved profile finds the engine's results.
  NetworkSettings settings = state.settings;
  settings.search.maxResults = 100;
  Collected events;
  SearchRun run(settings, saved, scratch.path(), events);
  ASSERT_EQ(run.StartSearch("river"), StartOutcome::kStarted);
  ASSERT_TRUE(run.ServeUntilDone(std::chrono::seconds(30)));
  ASSERT_FALSE(events.urls.empty());
  for (const std::string& url : events.urls) EXPECT_EQ(url.rfind(base + "/", 0), 0u) << url;
  EXPECT_GE(server_->Stats()["engines"]["offset0"]["requests"].size(), 1u);
}

}  // namespace
}  // namespace trovelane::ui
