#include "ui/main_window.h"

#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QToolButton>
#include <QPointer>
#include <chrono>
#include <filesystem>
#include <set>

#include "engines/profile_list.h"
#include "results/document_format.h"
#include "results/html_export.h"
#include "search/search_status.h"
#include "tests/ui/ui_fixture.h"
#include "ui/threads_window.h"

namespace trovelane::ui {
namespace {

using testing::UiTest;

// A second profile, "Other", of `engines` in the profile list; the first stays
// current. Returns its file.
std::string AddOtherProfile(const ::trovelane::testing::ScratchFolder& home,
                            const ProgramState& state, const EngineCatalogue& engines) {
  const std::string other = home.File("other.prf");
  EXPECT_TRUE(SaveProfile(other, engines).ok());
  std::vector<SearchProfile> list;
  ReadProfileList(state.ProfileListFile(), list, state.currentProfilePath);
  list.push_back({"Other", other});
  std::string selected;
  EXPECT_TRUE(WriteProfileList(state.ProfileListFile(), list, 0, selected).ok());
  return other;
}

// --- The window's shape ---

TEST(MainWindowLookTest, PaneTextsFollowTheSettings) {
  SearchOptions o;
  o.maxResults = 50;
  o.perEngine = 1;
  EXPECT_EQ(LimitPaneText(o), "MAX : 50 (PER ENGINE)");
  o.perEngine = 0;
  EXPECT_EQ(LimitPaneText(o), "MAX : 50 (ALL ENGINES)");
  EXPECT_EQ(ValidationPaneText(kValidationAuto, false), "AUTO");
  EXPECT_EQ(ValidationPaneText(kValidationValRel, true), "VAL+REL");
  EXPECT_EQ(ValidationPaneText(kValidationVal, false), "VAL");
  EXPECT_EQ(ValidationPaneText(kValidationNone, true), "NONE");
}

TEST(MainWindowLookTest, ASavedLimitOfZeroStillLetsResultsThrough) {
  NetworkSettings saved;
  EXPECT_EQ(EffectiveSearchSettings(saved).search.maxResults, kDefaultMaxResults);
  saved.search.maxResults = 7;
  EXPECT_EQ(EffectiveSearchSettings(saved).search.maxResults, 7);
}

TEST_F(UiTest, OpensWithTheExpressionBoxFocusedAndKeepsItsMinimumSize) {
  frame_->show();
  frame_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  EXPECT_TRUE(WaitFor([&] { return frame_->expressionBox()->lineEdit()->hasFocus(); }, 5000));
  frame_->resize(300, 200);
  EXPECT_GE(frame_->width(), 500);
  EXPECT_GE(frame_->height(), 450);
  EXPECT_EQ(frame_->minimumSize(), QSize(500, 450));
  EXPECT_EQ(frame_->PaneText(0), "Ready");
  EXPECT_TRUE(frame_->windowTitle().startsWith("t r o v e l a n e 2.52"));
}

TEST_F(UiTest, SearchBarPlacesItsControlsByTheLayoutRule) {
  frame_->show();
  frame_->resize(800, 500);
  ASSERT_TRUE(WaitFor([&] { return frame_->searchBar()->width() > 700; }, 5000));
  const int barWidth = frame_->searchBar()->width();
  const int label = frame_->searchLabel()->sizeHint().width();
  const int avail = barWidth - label - 85;
  const int box = static_cast<int>(std::lround(avail * 0.9));
  const int button = static_cast<int>(std::lround(avail * 0.1));
  EXPECT_EQ(frame_->searchLabel()->x(), 3);
  EXPECT_EQ(frame_->expressionBox()->x(), label + 5);
  EXPECT_EQ(frame_->expressionBox()->width(), box);
  EXPECT_EQ(frame_->wizardButton()->x(), label + box + 10);
  EXPECT_EQ(frame_->wizardButton()->width(), 32);
  EXPECT_EQ(frame_->goButton()->x(), label + box + 47);
  EXPECT_EQ(frame_->goButton()->width(), button);
  EXPECT_EQ(frame_->animationPicture()->x(), barWidth - 32);
  EXPECT_EQ(frame_->animationPicture()->height(), 32);
}

TEST_F(UiTest, DialogCommandsOpenTheirDialogsAndSomeWaitForTheSearch) {
  for (QAction* a : {frame_->searchSettingsAction, frame_->searchProfilesAction,
                     frame_->internetSettingsAction, frame_->resultViewOptionsAction,
                     frame_->expressionWizardAction, frame_->printAction}) {
    EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  }
  // Each command opens its dialog as a modal window; closing it leaves the
  // window as it was.
  for (QAction* a : {frame_->searchSettingsAction, frame_->searchProfilesAction,
                     frame_->internetSettingsAction, frame_->resultViewOptionsAction}) {
    QString opened;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal) {
        opened = QString::fromUtf8(modal->metaObject()->className());
        modal->close();
      }
    });
    a->trigger();
    EXPECT_FALSE(opened.isEmpty()) << a->text().toStdString();
  }
  // While a search runs: settings, profiles and printing are not available.
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  EXPECT_FALSE(frame_->searchSettingsAction->isEnabled());
  EXPECT_FALSE(frame_->searchProfilesAction->isEnabled());
  EXPECT_FALSE(frame_->printAction->isEnabled());
  EXPECT_TRUE(frame_->internetSettingsAction->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return !frame_->IsSearching(); }));
  EXPECT_TRUE(frame_->searchSettingsAction->isEnabled());
  EXPECT_TRUE(frame_->printAction->isEnabled());
}

// --- Status bar ---

TEST_F(UiTest, StatusPanesShowTheLimitAndTheValidationMode) {
  state_.settings.search.maxResults = 50;
  state_.settings.search.perEngine = 1;
  state_.settings.search.validationMode = kValidationAuto;
  frame_->SettingsChanged();
  EXPECT_EQ(frame_->PaneText(1), "MAX : 50 (PER ENGINE)");
  EXPECT_EQ(frame_->PaneText(2), "AUTO");

  // A one-word search runs without validation; afterwards the setting shows again.
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  EXPECT_EQ(frame_->PaneText(2), "NONE");
  ASSERT_TRUE(WaitFor([&] { return !frame_->IsSearching(); }));
  EXPECT_EQ(frame_->PaneText(2), "AUTO");
}

TEST_F(UiTest, IdleTextShowsTheResultCountOnceThereAreResults) {
  ASSERT_TRUE(SearchFor("lantern"));
  const int total = frame_->resultTotal();
  ASSERT_GT(total, 1);
  EXPECT_EQ(frame_->PaneText(0), "Ready");
  // The pointer passes over a tool bar button, then leaves it.
  QStatusTipEvent tip(QStringLiteral("Save the active document"));
  QApplication::sendEvent(frame_.get(), &tip);
  EXPECT_EQ(frame_->PaneText(0), "Save the active document");
  QStatusTipEvent idle{QString()};
  QApplication::sendEvent(frame_.get(), &idle);
  EXPECT_EQ(frame_->PaneText(0).toStdString(), FormatResultsFound(total));
}

TEST_F(UiTest, IdleTextIsReadyWithoutResults) {
  QStatusTipEvent idle{QString()};
  QApplication::sendEvent(frame_.get(), &idle);
  EXPECT_EQ(frame_->PaneText(0), "Ready");
}

// --- Search commands ---

TEST_F(UiTest, EnterSearchesAndResultsArriveWhileTheLoopRuns) {
  TypeAndEnter("lantern river");
  ASSERT_TRUE(frame_->IsSearching());
  EXPECT_FALSE(frame_->goButton()->isEnabled());
  EXPECT_FALSE(frame_->profileSelector()->isEnabled());
  EXPECT_TRUE(frame_->stopAction->isEnabled());
  EXPECT_FALSE(frame_->saveAction->isEnabled());
  EXPECT_FALSE(frame_->saveAsAction->isEnabled());
  // Results show in the list while the search still runs.
  ASSERT_TRUE(WaitFor([&] { return frame_->view()->model()->rowCount() > 0; }));
  ASSERT_TRUE(WaitFor([&] { return !frame_->IsSearching(); }));
  EXPECT_GT(frame_->bridge()->drains(), 0);

  const int rows = frame_->view()->model()->rowCount();
  EXPECT_EQ(rows, frame_->resultTotal());
  EXPECT_EQ(frame_->PaneText(0), "Ready");
  EXPECT_TRUE(frame_->goButton()->isEnabled());
  EXPECT_TRUE(frame_->profileSelector()->isEnabled());
  EXPECT_FALSE(frame_->stopAction->isEnabled());
  EXPECT_TRUE(frame_->saveAction->isEnabled());
  EXPECT_TRUE(frame_->document().IsModified());
  EXPECT_EQ(frame_->document().title(), "lantern_river");
  EXPECT_EQ(frame_->document().results().searchText(), "lantern&river");
  // The history keeps the normalized expression.
  EXPECT_EQ(frame_->expressionBox()->itemText(0), "lantern&river");
}

TEST_F(UiTest, GoByButtonAndMenuAndNotWhileSearching) {
  frame_->expressionBox()->setEditText("lantern");
  frame_->goButton()->click();
  ASSERT_TRUE(frame_->IsSearching());
  // Go again while searching changes nothing.
  frame_->expressionBox()->setEditText("river");
  frame_->goAction->trigger();
  EXPECT_EQ(frame_->document().title(), "lantern");
  ASSERT_TRUE(WaitFor([&] { return !frame_->IsSearching(); }));

  prompts_.threeWayAnswers = {QMessageBox::No};  // discard the results
  frame_->expressionBox()->setEditText("river");
  frame_->goAction->trigger();
  EXPECT_TRUE(frame_->IsSearching());
  EXPECT_EQ(frame_->document().title(), "river");
  ASSERT_TRUE(WaitFor([&] { return !frame_->IsSearching(); }));
  // The history holds both, newest first.
  EXPECT_EQ(frame_->expressionBox()->count(), 2);
  EXPECT_EQ(frame_->expressionBox()->itemText(0), "river");
}

TEST_F(UiTest, RefusedExpressionsAreSaidAndStartNothing) {
  TypeAndEnter("(lantern");
  EXPECT_FALSE(frame_->IsSearching());
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0], kInvalidExpression);

  TypeAndEnter("'QMNOSEND,TITLE,QMINNERTEXT,lantern'");
  EXPECT_FALSE(frame_->IsSearching());
  ASSERT_EQ(prompts_.messages.size(), 2u);
  EXPECT_EQ(prompts_.messages[1], kNothingToSearch);
  EXPECT_TRUE(frame_->profileSelector()->isEnabled());
  EXPECT_TRUE(frame_->goButton()->isEnabled());
}

TEST_F(UiTest, KeepingAModifiedDocumentRefusesTheNewSearch) {
  ASSERT_TRUE(SearchFor("lantern"));
  const int rows = frame_->view()->model()->rowCount();
  prompts_.threeWayAnswers = {QMessageBox::Cancel};
  TypeAndEnter("river");
  EXPECT_FALSE(frame_->IsSearching());
  EXPECT_EQ(frame_->view()->model()->rowCount(), rows);
  ASSERT_EQ(prompts_.asked.size(), 1u);
  EXPECT_EQ(prompts_.asked[0], "Save changes to lantern?");
  EXPECT_TRUE(frame_->profileSelector()->isEnabled());
}

// --- Stop and the threads window ---

class SlowUiTest : public UiTest {
 protected:
  static sample::SampleServerOptions SlowOptions() {
    sample::SampleServerOptions o = Options();
    o.slowEngines = 2;
    o.latencyMs = 3000;
    return o;
  }
  SlowUiTest() : UiTest(SlowOptions()) {}
  void SetUp() override {
    UiTest::SetUp();
    Use({"offset0", "slow1", "slow2"});
    state_.catalogue.engines[0].selected = 0;
    MakeWindow();
  }
};

TEST_F(SlowUiTest, BusyAnimationTurnsOnlyWhileSearching) {
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  std::set<int> seen;
  ASSERT_TRUE(WaitFor([&] {
    seen.insert(frame_->currentIcon());
    return seen.size() == 4 || !frame_->IsSearching();
  }));
  EXPECT_EQ(seen, (std::set<int>{172, 173, 174, 175}));
  frame_->Stop();
  const int last = frame_->currentIcon();
  QTest::qWait(1200);
  EXPECT_EQ(frame_->currentIcon(), last);
}

// Catches the threads window the main window makes for itself.
class ThreadsWindowCatcher : public QObject {
 public:
  QPointer<CThreadsWindow> caught;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::ChildPolished) {
      if (auto* w = qobject_cast<CThreadsWindow*>(static_cast<QChildEvent*>(event)->child())) {
        caught = w;
      }
    }
    return false;
  }
};

TEST_F(SlowUiTest, StopOpensTheThreadsWindowForItsLengthAndClosesIt) {
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  ASSERT_EQ(frame_->threadsWindow(), nullptr);
  ThreadsWindowCatcher catcher;
  frame_->installEventFilter(&catcher);
  const auto before = std::chrono::steady_clock::now();
  frame_->stopAction->trigger();
  // Stop returns within a second (the program's promise), with a margin.
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_FALSE(frame_->IsSearching());
  // The window showed the engines being stopped, and is closed again.
  ASSERT_FALSE(catcher.caught.isNull());
  EXPECT_EQ(catcher.caught->Status(1), "Not Active");
  EXPECT_EQ(catcher.caught->Status(2), "Not Active");
  EXPECT_FALSE(catcher.caught->isVisible());
  EXPECT_EQ(frame_->threadsWindow(), nullptr);
  EXPECT_FALSE(frame_->threadsAction->isChecked());
  EXPECT_EQ(frame_->PaneText(0), "Ready");
  EXPECT_TRUE(frame_->goButton()->isEnabled());
  EXPECT_TRUE(WaitFor([&] { return catcher.caught.isNull(); }, 10000));
}

TEST_F(SlowUiTest, StopWithTheWindowOpenLeavesItOpenWithEveryRowStopped) {
  frame_->ToggleThreadsWindow();
  CThreadsWindow* window = frame_->threadsWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(frame_->threadsAction->isChecked());
  ASSERT_EQ(window->RowCount(), 3);
  EXPECT_EQ(window->EngineName(1), "slow1");
  EXPECT_EQ(window->Status(0), "Not Selected");
  EXPECT_EQ(window->Status(1), "Not Active");
  EXPECT_EQ(window->Status(2), "Not Active");

  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  // Each running engine's row shows what its worker last said.
  ASSERT_TRUE(WaitFor([&] {
    for (int row : {1, 2}) {
      if (window->Status(row).isEmpty() || window->Status(row) == "Not Active") return false;
    }
    return true;
  }));
  frame_->Stop();
  EXPECT_EQ(frame_->threadsWindow(), window);
  EXPECT_EQ(window->Status(0), "Not Selected");
  EXPECT_EQ(window->Status(1), "Not Active");
  EXPECT_EQ(window->Status(2), "Not Active");
  // The last engine stopped is the selected row.
  EXPECT_EQ(window->list()->currentRow(), 2);
}

TEST_F(SlowUiTest, ThreadsWindowOpenedDuringASearchShowsTheWorkersLastTexts) {
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  // Opened once both workers have said something, it shows their last texts.
  CThreadsWindow* window = nullptr;
  // On a loaded machine a worker may end before the window sees its text;
  // its row then rightly reads "Not Active".
  bool ended = false;
  ASSERT_TRUE(WaitFor([&] {
    frame_->threadsAction->trigger();
    window = frame_->threadsWindow();
    if (window && !window->Status(1).isEmpty() && !window->Status(2).isEmpty()) {
      ended = window->Status(1) == "Not Active" || window->Status(2) == "Not Active";
      return true;
    }
    frame_->threadsAction->trigger();
    return false;
  }));
  EXPECT_EQ(window->Status(0), "Not Selected");
  if (!ended) {
    EXPECT_NE(window->Status(1), "Not Active");
    EXPECT_NE(window->Status(2), "Not Active");
  }
  // Closed by the user: the main window forgets it.
  window->reject();
  EXPECT_EQ(frame_->threadsWindow(), nullptr);
  EXPECT_FALSE(frame_->threadsAction->isChecked());
  frame_->Stop();
}

TEST_F(SlowUiTest, ChoosingAnotherProfileWhileSearchingChangesNothing) {
  const std::string other = AddOtherProfile(home_, state_, server_.Catalogue());
  frame_->FillProfileSelector();
  ASSERT_EQ(frame_->profileSelector()->count(), 2);

  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  frame_->SelectProfile(1);
  EXPECT_EQ(state_.catalogue.engines.size(), 3u);
  EXPECT_EQ(frame_->profileSelector()->currentIndex(), 0);
  frame_->Stop();

  // Idle, the choice loads that profile and makes it current.
  frame_->SelectProfile(1);
  EXPECT_EQ(state_.catalogue.engines.size(), server_.Catalogue().engines.size());
  EXPECT_EQ(state_.currentProfilePath, other);
  EXPECT_EQ(frame_->profileSelector()->currentIndex(), 1);
  std::string current;
  ReadCurrentProfilePath(state_.ProfileListFile(), current);
  EXPECT_EQ(current, other);
}

TEST_F(SlowUiTest, AWindowClosedMidSearchStopsItAndIsNeverReachedAgain) {
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  // Let the workers queue their sends, so that drains are posted and waiting.
  ASSERT_TRUE(WaitFor([&] { return frame_->bridge()->drains() > 0; }));
  frame_->document().SetModifiedFlag(false);
  frame_.reset();
  // Whatever the workers still had posted is dropped with the window.
  QTest::qWait(200);
  MakeWindow();
  TypeAndEnter("river");
  EXPECT_TRUE(frame_->IsSearching());
  frame_->Stop();
}

// --- Documents ---

TEST_F(UiTest, SaveAsThenOpenGivesBackTheResults) {
  ASSERT_TRUE(SearchFor("lantern"));
  const int rows = frame_->view()->model()->rowCount();
  ASSERT_GT(rows, 0);
  prompts_.fileToSave = QString::fromStdString(home_.File("found"));
  ASSERT_TRUE(frame_->SaveDocumentAs());
  EXPECT_EQ(prompts_.requests.back().filter, "trovelane Files (*.qmk)");
  const std::string saved = home_.File("found.qmk");
  EXPECT_TRUE(std::filesystem::exists(saved));
  EXPECT_FALSE(frame_->document().IsModified());
  EXPECT_EQ(frame_->recentDocuments().front(), saved);

  ASSERT_TRUE(frame_->NewDocument());
  EXPECT_EQ(frame_->view()->model()->rowCount(), 0);
  EXPECT_EQ(frame_->document().title(), "New Search");
  frame_->expressionBox()->setEditText("");

  prompts_.fileToOpen = QString::fromStdString(saved);
  ASSERT_TRUE(frame_->OpenDocument());
  EXPECT_EQ(frame_->view()->model()->rowCount(), rows);
  EXPECT_EQ(frame_->expressionBox()->currentText(), "lantern");
  EXPECT_EQ(frame_->PaneText(0).toStdString(), FormatResultsFound(rows));
  EXPECT_EQ(frame_->resultTotal(), rows);
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(UiTest, SaveWritesToTheDocumentsOwnFile) {
  ASSERT_TRUE(SearchFor("lantern"));
  prompts_.fileToSave = QString::fromStdString(home_.File("a.qmk"));
  ASSERT_TRUE(frame_->SaveDocumentAs());
  frame_->view()->SelectRows({0});
  prompts_.answers = {true};
  frame_->view()->DeleteSelected();
  EXPECT_TRUE(frame_->document().IsModified());
  prompts_.fileToSave.clear();  // Save must not ask
  ASSERT_TRUE(frame_->SaveDocument());
  ResultsStore reread;
  EXPECT_TRUE(
      ReadResultsDocument(::trovelane::testing::ReadFileBytes(home_.File("a.qmk")), reread).ok());
  EXPECT_EQ(reread.count(), frame_->document().results().count());
}

TEST_F(UiTest, AskingBeforeDiscardingAModifiedDocument) {
  ASSERT_TRUE(SearchFor("lantern"));
  // Cancel keeps everything.
  prompts_.threeWayAnswers = {QMessageBox::Cancel};
  EXPECT_FALSE(frame_->NewDocument());
  EXPECT_GT(frame_->view()->model()->rowCount(), 0);
  // Yes saves first (here through Save As, which the user cancels: nothing is lost).
  prompts_.threeWayAnswers = {QMessageBox::Yes};
  prompts_.fileToSave.clear();
  EXPECT_FALSE(frame_->NewDocument());
  EXPECT_GT(frame_->view()->model()->rowCount(), 0);
  // Yes with a file saves it, then empties the window.
  prompts_.threeWayAnswers = {QMessageBox::Yes};
  prompts_.fileToSave = QString::fromStdString(home_.File("kept.qmk"));
  EXPECT_TRUE(frame_->NewDocument());
  EXPECT_TRUE(std::filesystem::exists(home_.File("kept.qmk")));
  EXPECT_EQ(frame_->view()->model()->rowCount(), 0);
  EXPECT_EQ(prompts_.asked.size(), 3u);
}

TEST_F(UiTest, RecentDocumentsKeepTheFourNewestAndOpen) {
  ASSERT_TRUE(SearchFor("lantern"));
  for (int i = 0; i < 5; ++i) {
    prompts_.fileToSave = QString::fromStdString(home_.File("r" + std::to_string(i) + ".qmk"));
    ASSERT_TRUE(frame_->SaveDocumentAs());
  }
  ASSERT_EQ(frame_->recentDocuments().size(), 4u);
  EXPECT_EQ(frame_->recentDocuments()[0], home_.File("r4.qmk"));
  EXPECT_EQ(frame_->recentDocuments()[3], home_.File("r1.qmk"));
  EXPECT_TRUE(frame_->recentActions[3]->isVisible());
  EXPECT_TRUE(frame_->recentActions[2]->text().endsWith("r2.qmk"));

  // A new window of the same install folder remembers them.
  const int rows = frame_->view()->model()->rowCount();
  frame_.reset();
  MakeWindow();
  ASSERT_EQ(frame_->recentDocuments().size(), 4u);
  frame_->recentActions[2]->trigger();
  EXPECT_EQ(frame_->document().pathName(), home_.File("r2.qmk"));
  EXPECT_EQ(frame_->view()->model()->rowCount(), rows);
}

TEST_F(UiTest, ADroppedFileOpens) {
  ASSERT_TRUE(SearchFor("lantern"));
  const int rows = frame_->view()->model()->rowCount();
  prompts_.fileToSave = QString::fromStdString(home_.File("dropped.qmk"));
  ASSERT_TRUE(frame_->SaveDocumentAs());
  ASSERT_TRUE(frame_->NewDocument());

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(home_.File("dropped.qmk")))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_TRUE(frame_->OpenDroppedFiles(data.urls()));
  EXPECT_EQ(frame_->view()->model()->rowCount(), rows);
  EXPECT_EQ(frame_->document().pathName(), home_.File("dropped.qmk"));
}

TEST_F(UiTest, ADamagedDocumentOpensWhatItCanAndSaysSo) {
  ASSERT_TRUE(SearchFor("lantern"));
  std::string bytes = WriteResultsDocument(frame_->document().results());
  bytes.resize(bytes.size() - 100);  // the last record is cut
  const std::string damaged = home_.File("damaged.qmk");
  ::trovelane::testing::WriteFileBytes(damaged, bytes);
  prompts_.threeWayAnswers = {QMessageBox::No};
  ASSERT_TRUE(frame_->SaveModified());
  frame_->document().SetModifiedFlag(false);

  EXPECT_TRUE(frame_->OpenDocumentFile(QString::fromStdString(damaged)));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_NE(prompts_.messages[0].find("does not appear to be a valid"), std::string::npos);
  EXPECT_NE(prompts_.messages[0].find("untitled"), std::string::npos);
  EXPECT_GT(frame_->view()->model()->rowCount(), 0);
  // Save does not overwrite the damaged original: it asks for a new name.
  prompts_.fileToSave.clear();
  EXPECT_FALSE(frame_->SaveDocument());
  EXPECT_EQ(::trovelane::testing::ReadFileBytes(damaged), bytes);

  EXPECT_FALSE(frame_->OpenDocumentFile(QString::fromStdString(home_.File("missing.qmk"))));
  EXPECT_EQ(prompts_.messages.size(), 2u);
  EXPECT_EQ(frame_->view()->model()->rowCount(), 0);
}

// --- Help ---

TEST_F(UiTest, HelpCommands) {
  QDialog* box = frame_->CreateAboutBox();
  EXPECT_EQ(box->windowTitle(), "About t r o v e l a n e");
  EXPECT_EQ(static_cast<QMessageBox*>(box)->text(), "t r o v e l a n e version 2.52");
  delete box;

  frame_->webSiteAction->trigger();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], kProductWebAddress);

  const std::string page = home_.File("help.html");
  ::trovelane::testing::WriteFileBytes(page, "<p>help</p>");
  frame_->helpPages = {home_.File("none.html"), page};
  frame_->helpTopicsAction->trigger();
  ASSERT_EQ(helpOpened_.size(), 1u);
  EXPECT_EQ(helpOpened_[0], page);
  frame_->helpPages = {home_.File("none.html")};
  frame_->helpTopicsAction->trigger();
  EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(UiTest, WizardButtonKeepsItsPictureThroughEnablingChanges) {
  frame_->expressionWizardAction->setEnabled(false);
  frame_->expressionWizardAction->setEnabled(true);
  EXPECT_FALSE(frame_->wizardButton()->icon().isNull());
  EXPECT_EQ(frame_->wizardButton()->toolTip(), "Wizard");
}

TEST_F(UiTest, ThreadsWindowFollowsAProfileSwitchedWhileItIsOpen) {
  AddOtherProfile(home_, state_, server_.Catalogue());
  frame_->FillProfileSelector();
  ASSERT_TRUE(SearchFor("lantern"));
  frame_->ToggleThreadsWindow();
  ASSERT_NE(frame_->threadsWindow(), nullptr);
  ASSERT_EQ(frame_->threadsWindow()->RowCount(), 2);
  EXPECT_FALSE(frame_->threadsWindow()->Ending(0).isEmpty());

  frame_->SelectProfile(1);
  CThreadsWindow* window = frame_->threadsWindow();
  EXPECT_LE(window->width(), frame_->width());
  EXPECT_EQ(window->list()->item(0, 0)->toolTip().toStdString(), state_.catalogue.engines[0].name);
  const auto& engines = state_.catalogue.engines;
  ASSERT_EQ(window->RowCount(), static_cast<int>(engines.size()));
  for (int row = 0; row < window->RowCount(); ++row) {
    EXPECT_EQ(window->EngineName(row).toStdString(), engines[row].name);
    EXPECT_TRUE(window->Ending(row).isEmpty()) << row;  // the old search's endings are gone
  }
}

TEST_F(UiTest, FailuresAreSaidInsteadOfEndingOnReady) {
  for (EngineDefinition& engine : state_.catalogue.engines) engine.selected = false;
  frame_->Go();
  EXPECT_FALSE(frame_->IsSearching());
  EXPECT_EQ(frame_->PaneText(0), kNoEngineSelected);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0], kNoEngineSelected);

  // Every engine unreachable: the pane and a message say so, and each row why.
  for (EngineDefinition& engine : state_.catalogue.engines) {
    engine.selected = true;
    engine.searchUrl = "http://127.0.0.1:1/search";
  }
  ASSERT_TRUE(SearchFor("lantern"));
  EXPECT_EQ(frame_->PaneText(0), kNoEngineAnswered);
  ASSERT_TRUE(WaitFor([this] { return prompts_.messages.size() == 2; }));
  EXPECT_EQ(prompts_.messages[1], kNoEngineAnswered);
  frame_->ToggleThreadsWindow();
  EXPECT_TRUE(frame_->threadsWindow()->Ending(0).contains("unreachable"));

  // A page no program opens, and a help page no program shows.
  frame_->openUrl = [](const std::string&) { return false; };
  frame_->LaunchInBrowser("http://127.0.0.1/page");
  ASSERT_EQ(prompts_.messages.size(), 3u);
  EXPECT_NE(prompts_.messages[2].find("http://127.0.0.1/page"), std::string::npos);
  EXPECT_EQ(frame_->PaneText(0).toStdString(), prompts_.messages[2]);
  const std::string page = home_.File("help.html");
  ::trovelane::testing::WriteFileBytes(page, "<p>help</p>");
  frame_->helpPages = {page};
  frame_->openHelpFile = [](const std::string&) { return false; };
  frame_->helpTopicsAction->trigger();
  ASSERT_EQ(prompts_.messages.size(), 4u);
  EXPECT_NE(prompts_.messages[3].find("help.html"), std::string::npos);
}

TEST_F(SlowUiTest, KeysOfTheDesktopEscapeStopsF5SearchesAgain) {
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  TypeAndEnter("lantern");
  ASSERT_TRUE(frame_->IsSearching());
  QTest::keyClick(frame_->expressionBox(), Qt::Key_Escape);
  EXPECT_FALSE(frame_->IsSearching());
  QTest::keyClick(frame_->expressionBox(), Qt::Key_F5);
  EXPECT_TRUE(frame_->IsSearching());
  EXPECT_EQ(frame_->GetSearchExpressionText(), "lantern");
  frame_->Stop();
}

TEST_F(UiTest, TheCaptionMarksUnsavedResults) {
  EXPECT_FALSE(frame_->isWindowModified());
  ASSERT_TRUE(SearchFor("lantern"));
  QTest::qWait(0);
  EXPECT_TRUE(frame_->isWindowModified());
  EXPECT_TRUE(frame_->windowTitle().endsWith("[*]"));
  prompts_.fileToSave = QString::fromStdString(home_.File("kept.qmk"));
  ASSERT_TRUE(frame_->SaveDocumentAs());
  EXPECT_FALSE(frame_->isWindowModified());
  frame_->view()->model()->SetOpened(0, true);
  QTest::qWait(0);
  EXPECT_TRUE(frame_->isWindowModified());
}

TEST_F(UiTest, WindowsComeBackAsTheyWereLeft) {
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  ASSERT_TRUE(SearchFor("lantern"));
  frame_->resize(720, 530);
  frame_->ToggleThreadsWindow();
  frame_->threadsWindow()->resize(480, 300);
  ASSERT_TRUE(frame_->close());

  MakeWindow();
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  EXPECT_EQ(frame_->size(), QSize(720, 530));
  EXPECT_GE(frame_->expressionBox()->findText("lantern"), 0);
  EXPECT_TRUE(frame_->expressionBox()->currentText().isEmpty());
  frame_->ToggleThreadsWindow();
  EXPECT_EQ(frame_->threadsWindow()->size(), QSize(480, 300));
}

TEST(MainWindowLookTest, TheFirstStartFitsTheScreen) {
  for (const QRect screen : {QRect(0, 0, 1920, 1080), QRect(0, 0, 800, 600), QRect(0, 0, 480, 400)}) {
    const QRect frame = FirstStartGeometry(screen);
    EXPECT_TRUE(screen.contains(frame)) << screen.width();
    EXPECT_GE(frame.width(), std::min(500, screen.width()));
  }
}

}  // namespace
}  // namespace trovelane::ui
