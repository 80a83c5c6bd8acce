// Search Again in the window, over an engine on loopback whose results
// change between the document's search and the watch.
#include "ui/watch_commands.h"

#include <QAction>
#include <fstream>

#include "engines/profile.h"
#include "results/results_document.h"
#include "tests/support/changing_engine.h"
#include "tests/ui/ui_fixture.h"

namespace trovelane::ui::testing {
namespace {

using ::trovelane::test::ChangingEngine;

class WatchCommandsTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    const std::string profile = home_.File("changing.ini");
    std::ofstream(profile) << engine_.ProfileText();
    state_.catalogue = EngineCatalogue{};
    ASSERT_TRUE(LoadProfile(profile, state_.catalogue).ok());
    ASSERT_EQ(state_.catalogue.engines.size(), 1u);
    state_.catalogue.engines[0].selected = true;
  }

  bool SearchAgain() {
    frame_->watchCommands()->searchAgainAction->trigger();
    return WaitFor([this] { return !frame_->watchCommands()->running(); });
  }
  int RowOf(const std::string& name) const {
    const ResultsStore& store = frame_->document().results();
    for (int i = 0; i < store.count(); ++i) {
      if (store.record(i).url() == engine_.PageUrl(name)) return i;
    }
    return -1;
  }
  WatchState StateOf(const std::string& name) const {
    const ResultRecord& r = frame_->document().results().record(RowOf(name));
    return r.watch() ? r.watch()->state : WatchState::kNone;
  }

  ChangingEngine engine_;
};

TEST_F(WatchCommandsTest, SearchAgainAddsNewResultsMarksStatesAndLeavesTheSaveToTheUser) {
  // The document as a search made it: a, b and c, then a, b and d are listed
  // and c's page is gone.
  ResultsModel& model = *frame_->view()->model();
  model.store().SetSearchText("river");
  for (const char* name : {"a", "b", "c"}) {
    model.Append(engine_.PageUrl(name), std::string("River ") + name, "changing", kNotValidated, 0);
  }
  model.SetOpened(0, true);
  frame_->document().SetModifiedFlag(false);
  engine_.Set({"a", "b", "d"}, {"a", "b", "d"});

  QAction* again = frame_->watchCommands()->searchAgainAction;
  EXPECT_TRUE(again->isEnabled());
  frame_->watchCommands()->SearchAgain();
  // The document is locked while the watch runs, as during a search.
  EXPECT_FALSE(again->isEnabled());
  EXPECT_FALSE(frame_->saveAction->isEnabled());
  EXPECT_FALSE(frame_->openAction->isEnabled());
  ASSERT_TRUE(WaitFor([this] { return !frame_->watchCommands()->running(); }));
  EXPECT_TRUE(again->isEnabled());
  EXPECT_TRUE(frame_->saveAction->isEnabled());

  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(RowOf("d"), 3);
  EXPECT_EQ(StateOf("a"), WatchState::kKept);
  EXPECT_EQ(StateOf("b"), WatchState::kKept);
  EXPECT_EQ(StateOf("c"), WatchState::kDead);
  EXPECT_EQ(StateOf("d"), WatchState::kNew);
  EXPECT_TRUE(model.data(model.index(3, 0), Qt::FontRole).value<QFont>().bold());
  EXPECT_TRUE(model.data(model.index(2, 0), Qt::FontRole).value<QFont>().strikeOut());
  EXPECT_TRUE(frame_->document().results().record(0).opened);  // marks stay
  EXPECT_EQ(frame_->PaneText(0), "1 new, 1 dead");
  EXPECT_TRUE(frame_->document().IsModified());
  EXPECT_TRUE(frame_->document().results().watchedSearch().has_value());

  // Saved by the user, it opens again as a watched document.
  const std::string path = home_.File("river.qmk");
  ASSERT_TRUE(frame_->document().OnSaveDocument(path).ok());
  CQuivmarkDoc reopened;
  ASSERT_TRUE(reopened.OnOpenDocument(path).status.ok());
  ASSERT_EQ(reopened.results().count(), 4);
  EXPECT_EQ(reopened.results().record(3).watch()->state, WatchState::kNew);

  // Again, with nothing changed: d is kept now, c stays dead and is not
  // counted again.
  ASSERT_TRUE(SearchAgain());
  EXPECT_EQ(model.rowCount(), 4);
  EXPECT_EQ(StateOf("d"), WatchState::kKept);
  EXPECT_EQ(StateOf("c"), WatchState::kDead);
  EXPECT_EQ(frame_->PaneText(0), "0 new, 0 dead");
}

TEST_F(WatchCommandsTest, NothingIsChangedWhenNoEngineAnswersOrThereIsNoSearch) {
  ResultsModel& model = *frame_->view()->model();
  ASSERT_TRUE(SearchAgain());
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0], kNoSearchToRepeat);

  model.store().SetSearchText("river");
  model.Append("http://127.0.0.1:1/gone.html", "gone", "changing", kNotValidated, 0);
  frame_->document().SetModifiedFlag(false);
  // An engine that cannot be reached proves nothing about the saved results.
  state_.catalogue.engines[0].searchUrl = "http://127.0.0.1:1/search";
  ASSERT_TRUE(SearchAgain());
  EXPECT_EQ(frame_->PaneText(0), kWatchNoEngineReached);
  EXPECT_EQ(model.store().record(0).watch(), nullptr);
  EXPECT_FALSE(frame_->document().IsModified());
  EXPECT_FALSE(model.store().watchedSearch().has_value());
}

TEST_F(WatchCommandsTest, StopEndsAWatchAndNothingIsRemoved) {
  ResultsModel& model = *frame_->view()->model();
  model.store().SetSearchText("river");
  model.Append(engine_.PageUrl("a"), "River a", "changing", kNotValidated, 0);
  engine_.Set({}, {});
  frame_->watchCommands()->SearchAgain();
  EXPECT_TRUE(frame_->stopAction->isEnabled());
  frame_->stopAction->trigger();
  ASSERT_TRUE(WaitFor([this] { return !frame_->watchCommands()->running(); }));
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_TRUE(frame_->watchCommands()->searchAgainAction->isEnabled());
  EXPECT_TRUE(frame_->goAction->isEnabled());
}

TEST_F(WatchCommandsTest, ADocumentSetToBeSearchedAgainIsSearchedWhenOpened) {
  engine_.Set({"a"}, {"a"});
  CQuivmarkDoc saved;
  saved.results().SetSearchText("river");
  saved.results().AppendResult(engine_.PageUrl("a"), "River a", "changing");
  const std::string path = home_.File("river.qmk");
  ASSERT_TRUE(saved.OnSaveDocument(path).ok());
  QAction* option = frame_->watchCommands()->searchOnOpenAction;
  EXPECT_FALSE(option->isEnabled());  // an unsaved document has no file to keep it for

  prompts_.fileToOpen = QString::fromStdString(path);
  frame_->openAction->trigger();
  ASSERT_EQ(frame_->document().pathName(), path);
  EXPECT_TRUE(option->isEnabled());
  EXPECT_FALSE(option->isChecked());
  option->trigger();
  EXPECT_TRUE(frame_->watchCommands()->SearchOnOpen());

  // Opened again, it is searched again: b is new.
  engine_.Set({"a", "b"}, {"a", "b"});
  frame_->openAction->trigger();
  EXPECT_TRUE(option->isChecked());
  ASSERT_TRUE(WaitFor([this] { return frame_->document().results().count() == 2; }));
  ASSERT_TRUE(WaitFor([this] { return !frame_->watchCommands()->running(); }));
  EXPECT_EQ(StateOf("b"), WatchState::kNew);
  EXPECT_EQ(frame_->PaneText(0), "1 new, 0 dead");

  // Turned off, opening leaves the document as it was saved.
  option->trigger();
  EXPECT_FALSE(frame_->watchCommands()->SearchOnOpen());
  frame_->document().SetModifiedFlag(false);
  frame_->openAction->trigger();
  QCoreApplication::processEvents();  // where a posted Search Again would start
  EXPECT_FALSE(frame_->watchCommands()->running());
  EXPECT_EQ(frame_->document().results().count(), 1);
}

}  // namespace
}  // namespace trovelane::ui::testing
