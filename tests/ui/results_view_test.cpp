#include "ui/results_view.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QSignalSpy>
#include <filesystem>

#include "app/settings_file.h"
#include "results/html_export.h"
#include "tests/ui/ui_fixture.h"
#include "ui/rank_commands.h"

namespace trovelane::ui {
namespace {

using testing::UiTest;

class ResultsViewTest : public UiTest {
 protected:
  using UiTest::UiTest;
  void SetUp() override {
    UiTest::SetUp();
    view_ = frame_->view();
    model_ = view_->model();
  }

  // Rows "u0" … with URLs http://127.0.0.1/0 …, engine "e", no relevance.
  void Fill(int rows) {
    for (int i = 0; i < rows; ++i) {
      model_->Append(Url(i), "  title " + std::to_string(i) + " ", "e", kNotValidated, 0);
    }
  }
  static std::string Url(int i) { return "http://127.0.0.1/" + std::to_string(i); }
  std::string RowUrl(int row) const {
    return std::string(frame_->document().results().record(row).url());
  }
  QVariant Cell(int row, int column, int role = Qt::DisplayRole) const {
    return model_->data(model_->index(row, column), role);
  }

  CQuivmarkView* view_ = nullptr;
  ResultsModel* model_ = nullptr;
};

// --- What the list shows ---

TEST_F(ResultsViewTest, ColumnsCellsAndStyles) {
  ASSERT_EQ(model_->columnCount(), 4);
  EXPECT_EQ(model_->headerData(0, Qt::Horizontal, Qt::DisplayRole), "Result Text");
  EXPECT_EQ(model_->headerData(1, Qt::Horizontal, Qt::DisplayRole), "Search Engine");
  EXPECT_EQ(model_->headerData(2, Qt::Horizontal, Qt::DisplayRole), "Relevance");
  EXPECT_EQ(model_->headerData(3, Qt::Horizontal, Qt::DisplayRole), "Result URL");

  model_->Append("http://127.0.0.1/a", "  spaced title\t", "eng", kValidatedReachable, 42);
  model_->Append("http://127.0.0.1/b", "plain", "eng", kNotValidated, -1);
  EXPECT_EQ(Cell(0, 0), "spaced title");
  EXPECT_EQ(frame_->document().results().record(0).text(), "  spaced title\t");
  EXPECT_EQ(Cell(0, 1), "eng");
  EXPECT_EQ(Cell(0, 2), "42%");
  EXPECT_EQ(Cell(1, 2), "n/a");
  EXPECT_EQ(Cell(0, 3), "http://127.0.0.1/a");

  // URLs blue and underlined; other cells in the window colours.
  EXPECT_EQ(Cell(1, 3, Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 255));
  EXPECT_TRUE(Cell(1, 3, Qt::FontRole).value<QFont>().underline());
  EXPECT_FALSE(Cell(1, 0, Qt::ForegroundRole).isValid());
  // An opened row is purple throughout, its URL still underlined.
  model_->SetOpened(1, true);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(Cell(1, c, Qt::ForegroundRole).value<QBrush>().color(), QColor(128, 0, 128));
  }
  EXPECT_TRUE(Cell(1, 3, Qt::FontRole).value<QFont>().underline());

  // Overlays: 1 for a reachable row, none for an unchecked one, 3 while checked.
  EXPECT_EQ(model_->Overlay(0), kOverlayReachable);
  EXPECT_EQ(model_->Overlay(1), kOverlayNone);
  model_->SetValidating("http://127.0.0.1/b", true);
  EXPECT_EQ(model_->Overlay(1), kOverlayValidating);
  model_->SetValidating("http://127.0.0.1/b", false);
  EXPECT_EQ(model_->Overlay(1), kOverlayNone);
  // The four icons differ.
  const QImage none = model_->RowIcon(0).pixmap(16, 16).toImage();
  for (int o = 1; o < 4; ++o) EXPECT_NE(model_->RowIcon(o).pixmap(16, 16).toImage(), none);
}

TEST_F(ResultsViewTest, NewRowsAreBoldAndDeadRowsStruckThroughInEveryColumn) {
  Fill(5);
  const WatchState states[] = {WatchState::kNew, WatchState::kKept, WatchState::kDropped,
                               WatchState::kDead};
  for (int i = 0; i < 4; ++i) model_->store().record(i).EnsureWatch().state = states[i];
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    const QFont fresh = Cell(0, c, Qt::FontRole).value<QFont>();
    EXPECT_TRUE(fresh.bold());
    EXPECT_FALSE(fresh.strikeOut());
    const QFont dead = Cell(3, c, Qt::FontRole).value<QFont>();
    EXPECT_TRUE(dead.strikeOut());
    EXPECT_FALSE(dead.bold());
    // Kept, dropped and never-watched rows look as any row does.
    for (int row : {1, 2, 4}) {
      const QFont plain = Cell(row, c, Qt::FontRole).value<QFont>();
      EXPECT_FALSE(plain.bold() || plain.strikeOut()) << row;
    }
  }
  // The URL keeps its underline under either style.
  EXPECT_TRUE(Cell(0, 3, Qt::FontRole).value<QFont>().underline());
  EXPECT_TRUE(Cell(3, 3, Qt::FontRole).value<QFont>().underline());
  EXPECT_FALSE(Cell(1, 0, Qt::FontRole).isValid());
}

TEST(ResultsCellTest, ALongTextEndsInThreeDots) {
  const QFontMetrics metrics(QApplication::font());
  const QString text = QStringLiteral("http://127.0.0.1/a/rather/long/path/of/a/result.html");
  const int whole = metrics.horizontalAdvance(text);
  EXPECT_EQ(ElideWithDots(text, metrics, whole + 5), text);
  const QString cut = ElideWithDots(text, metrics, whole);
  EXPECT_TRUE(cut.endsWith("...")) << cut.toStdString();
  EXPECT_TRUE(text.startsWith(cut.chopped(3)));
  EXPECT_LE(metrics.horizontalAdvance(cut), whole - 5);
  EXPECT_EQ(ElideWithDots(text, metrics, 0), "...");
}

TEST_F(ResultsViewTest, ViewOptionsTurnGridLinesAndToolTipsOnAndOff) {
  Fill(1);
  EXPECT_FALSE(Cell(0, 3, Qt::ToolTipRole).isValid());
  ViewOptions options;
  options.gridLines = 1;
  options.toolTips = 1;
  view_->ApplyViewOptions(options);
  EXPECT_TRUE(view_->list()->showGrid());
  EXPECT_EQ(Cell(0, 3, Qt::ToolTipRole), QString::fromStdString(Url(0)));
  view_->ApplyViewOptions(ViewOptions{});
  EXPECT_FALSE(view_->list()->showGrid());
  EXPECT_FALSE(Cell(0, 3, Qt::ToolTipRole).isValid());
}

TEST_F(ResultsViewTest, ResizeRuleSharesTheWidth) {
  const QFontMetrics metrics(view_->list()->horizontalHeader()->font());
  std::vector<int> wide = view_->ColumnWidthsFor(1000);
  EXPECT_GE(wide[1], metrics.horizontalAdvance("Search Engine"));
  EXPECT_GE(wide[2], metrics.horizontalAdvance("Relevance"));
  EXPECT_EQ(wide[0], (1000 - wide[1] - wide[2]) / 2);
  EXPECT_EQ(wide[3], wide[0]);
  // Narrow: each of the two is held to a fifth of the width.
  std::vector<int> narrow = view_->ColumnWidthsFor(100);
  EXPECT_EQ(narrow[1], 20);
  EXPECT_EQ(narrow[2], 20);
  EXPECT_EQ(narrow[0], 30);
  // The list starts under the 60-pixel banner band.
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  EXPECT_EQ(view_->list()->y(), 60);
}

// --- Launch ---

TEST_F(ResultsViewTest, LaunchOneRowOpensItWithTheDesktop) {
  Fill(3);
  view_->SelectRows({1});
  view_->launchAction->trigger();
  EXPECT_EQ(opened_, std::vector<std::string>{Url(1)});
  EXPECT_TRUE(launched_.empty());
  EXPECT_EQ(frame_->document().results().record(1).opened, 1);
  EXPECT_EQ(frame_->document().results().record(0).opened, 0);
  EXPECT_TRUE(frame_->document().IsModified());
}

TEST_F(ResultsViewTest, LaunchSeveralRowsStartsTheBrowserForEachAndAsksFromSix) {
  state_.settings.proxy.browserPath = "/usr/bin/browser";
  Fill(8);
  view_->SelectRows({0, 1, 2, 3, 4});
  view_->Launch();
  EXPECT_TRUE(prompts_.asked.empty());
  ASSERT_EQ(launched_.size(), 5u);
  EXPECT_EQ(launched_[4], "/usr/bin/browser " + Url(4));
  EXPECT_TRUE(opened_.empty());

  launched_.clear();
  view_->SelectRows({0, 1, 2, 3, 4, 5});
  prompts_.answers = {false};
  view_->Launch();
  ASSERT_EQ(prompts_.asked.size(), 1u);
  EXPECT_EQ(prompts_.asked[0],
            "This action would start 6 instances of your default browser !\nDo you want to "
            "continue ?");
  EXPECT_TRUE(launched_.empty());
  EXPECT_EQ(frame_->document().results().record(5).opened, 0);

  prompts_.answers = {true};
  view_->launchNewAction->trigger();
  EXPECT_EQ(launched_.size(), 6u);
  EXPECT_EQ(frame_->document().results().record(5).opened, 1);

  // One row in a new window: no question, the browser program.
  launched_.clear();
  view_->SelectRows({7});
  view_->LaunchInNewWindow();
  EXPECT_EQ(launched_, std::vector<std::string>{"/usr/bin/browser " + Url(7)});
}

TEST_F(ResultsViewTest, DoubleClickActsLikeLaunch) {
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  state_.settings.proxy.browserPath = "/usr/bin/browser";
  Fill(3);
  view_->SelectRows({0, 2});
  emit view_->list()->doubleClicked(model_->index(2, 0));
  EXPECT_EQ(launched_.size(), 2u);
  EXPECT_EQ(frame_->document().results().record(0).opened, 1);
  EXPECT_EQ(frame_->document().results().record(1).opened, 0);
}

// --- Copy, mark, select ---

TEST_F(ResultsViewTest, CopyPutsEachUrlOnALineEndingInCrLf) {
  Fill(5);
  view_->SelectRows({4, 0, 2});
  view_->copyAction->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
            Url(0) + "\r\n" + Url(2) + "\r\n" + Url(4) + "\r\n");
}

TEST_F(ResultsViewTest, MarkUnmarkAndSelectAll) {
  Fill(4);
  frame_->document().SetModifiedFlag(false);
  view_->SelectRows({1, 3});
  view_->markAction->trigger();
  EXPECT_EQ(frame_->document().results().record(1).opened, 1);
  EXPECT_EQ(frame_->document().results().record(3).opened, 1);
  EXPECT_TRUE(frame_->document().IsModified());
  view_->SelectRows({3});
  view_->unmarkAction->trigger();
  EXPECT_EQ(frame_->document().results().record(3).opened, 0);
  EXPECT_FALSE(Cell(3, 0, Qt::ForegroundRole).isValid());
  EXPECT_EQ(frame_->document().results().record(1).opened, 1);

  view_->selectAllAction->trigger();
  EXPECT_EQ(view_->SelectedRows(), (std::vector<int>{0, 1, 2, 3}));
}

// --- Delete ---

TEST_F(ResultsViewTest, DeleteRemovesTheSelectedRowsAfterAsking) {
  Fill(8);
  view_->SelectRows({2, 5, 6});
  prompts_.answers = {false};
  view_->deleteAction->trigger();
  EXPECT_EQ(model_->rowCount(), 8);
  EXPECT_EQ(prompts_.asked.back(), "Are you sure you want to delete these 3 items ?");

  view_->SelectRows({2, 5, 6});
  view_->DeleteSelected();
  ASSERT_EQ(model_->rowCount(), 5);
  // Records 2, 4 and 4 went, which were the rows numbered 2, 5 and 6.
  EXPECT_EQ(RowUrl(0), Url(0));
  EXPECT_EQ(RowUrl(1), Url(1));
  EXPECT_EQ(RowUrl(2), Url(3));
  EXPECT_EQ(RowUrl(3), Url(4));
  EXPECT_EQ(RowUrl(4), Url(7));
  EXPECT_EQ(frame_->resultTotal(), 5);
  EXPECT_EQ(frame_->PaneText(0), "5 Results Found !");

  view_->SelectRows({3});
  view_->DeleteSelected();
  EXPECT_EQ(prompts_.asked.back(), "Are you sure you want to delete this item ?");
  view_->selectAllAction->trigger();
  view_->DeleteSelected();
  EXPECT_EQ(model_->rowCount(), 0);
  EXPECT_EQ(frame_->PaneText(0), "Ready");
}

TEST_F(ResultsViewTest, KeysGoToTheExpressionBoxWhenItHasTheFocus) {
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  Fill(3);
  view_->SelectRows({0, 1, 2});
  QComboBox* box = frame_->expressionBox();
  box->setFocus();
  box->setEditText("lantern");
  ASSERT_TRUE(WaitFor([&] { return box->hasFocus(); }, 5000));
  box->lineEdit()->setCursorPosition(0);
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(box->currentText(), "antern");
  EXPECT_EQ(model_->rowCount(), 3);
  EXPECT_TRUE(prompts_.asked.empty());
  EXPECT_EQ(QApplication::clipboard()->text(), "antern");
  // In the list the same keys are the list's commands.
  view_->list()->setFocus();
  ASSERT_TRUE(WaitFor([&] { return view_->list()->hasFocus(); }, 5000));
  QTest::keyClick(view_->list(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
            Url(0) + "\r\n" + Url(1) + "\r\n" + Url(2) + "\r\n");
  QTest::keyClick(view_->list(), Qt::Key_Delete);
  EXPECT_EQ(prompts_.asked.size(), 1u);
  EXPECT_EQ(model_->rowCount(), 0);
}

TEST_F(ResultsViewTest, DeleteAllStartsANewDocument) {
  Fill(3);
  frame_->document().SetTitle("lantern");
  view_->deleteAllAction->trigger();
  EXPECT_EQ(model_->rowCount(), 0);
  EXPECT_EQ(frame_->document().title(), "New Search");
  EXPECT_TRUE(frame_->document().IsModified());
  EXPECT_TRUE(prompts_.asked.empty());
}

// --- Sort ---

TEST_F(ResultsViewTest, HeaderClickSortsAndShowsTheArrow) {
  model_->Append("http://127.0.0.1/b", "beta", "e", kNotValidated, 0);
  model_->Append("http://127.0.0.1/a", "alpha", "e", kNotValidated, 0);
  model_->Append("http://127.0.0.1/c", "gamma", "e", kNotValidated, 0);
  QHeaderView* header = view_->list()->horizontalHeader();
  EXPECT_FALSE(header->isSortIndicatorShown());

  emit header->sectionClicked(kColumnUrl);
  EXPECT_EQ(RowUrl(0), "http://127.0.0.1/a");
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), kColumnUrl);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

  emit header->sectionClicked(kColumnUrl);
  EXPECT_EQ(RowUrl(0), "http://127.0.0.1/c");
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

  // A later result goes to the bottom; the arrow stays.
  model_->Append("http://127.0.0.1/z", "zeta", "e", kNotValidated, 0);
  EXPECT_EQ(RowUrl(3), "http://127.0.0.1/z");
  EXPECT_EQ(header->sortIndicatorSection(), kColumnUrl);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ResultsViewTest, SelectionIsPaintedOnlyWhereItShowsAndScoresOfZeroReadZero) {
  Fill(2);
  frame_->show();
  QTableView* list = view_->list();
  list->selectRow(0);
  const QColor highlight = list->palette().color(QPalette::Active, QPalette::Highlight);
  auto engineCellColour = [&] {
    const QRect cell = list->visualRect(model_->index(0, kColumnEngine));
    return list->viewport()->grab().toImage().pixelColor(cell.right() - 3, cell.center().y());
  };
  EXPECT_NE(engineCellColour(), highlight);  // "Full Row Selection" off: the text cell only
  ViewOptions options;
  options.fullRowSelect = 1;
  view_->ApplyViewOptions(options);
  EXPECT_EQ(engineCellColour(), highlight);

  // A validation that scored 0 (or below) shows 0%; a rebuilt list cannot tell.
  model_->SetValidation(0, true, 0);
  model_->SetValidation(1, true, -4);
  EXPECT_EQ(Cell(0, kColumnRelevance), "0%");
  EXPECT_EQ(Cell(1, kColumnRelevance), "0%");
  model_->Rebuild();
  EXPECT_EQ(Cell(0, kColumnRelevance), "n/a");

  // URLs read on a dark palette as on a light one.
  for (const QColor base : {QColor(255, 255, 255), QColor(30, 30, 34)}) {
    QPalette palette;
    palette.setColor(QPalette::Base, base);
    for (bool opened : {false, true}) {
      EXPECT_GT(std::abs(LinkColour(palette, opened).lightness() - base.lightness()), 90);
    }
  }

  // The sort arrow gets room beside the caption.
  QHeaderView* header = list->horizontalHeader();
  emit header->sectionClicked(kColumnEngine);
  EXPECT_GE(header->sectionSize(kColumnEngine), header->sectionSizeHint(kColumnEngine));
}

// Rank order over results whose finders the search knows: engine 1 weighs
// 3 and example.com's factor is 6, so that the rank differs from the order
// of arrival, of the rows and of the text column the list was sorted by.
TEST_F(ResultsViewTest, RankOrderFollowsTheSearchsFindersWhateverTheRowsDid) {
  state_.catalogue.engines[1].web.weight = 3;
  state_.settings.program.domainFactors = {{"example.com", 6}};
  SearchRun& run = frame_->bridge()->run();
  auto hand = [&](const char* url, const char* title, int engine, int position) {
    ResultHandoff r;
    r.url = url;
    r.title = title;
    r.engineName = state_.catalogue.engines[engine].name;
    r.engineIndex = engine;
    r.position = position;
    run.OnResult(r);
  };
  hand("http://127.0.0.1/a", "z", 0, 1);        // 1
  hand("http://127.0.0.1/b", "y", 0, 2);        // 1/2
  hand("http://127.0.0.1/c", "x", 1, 1);        // 3
  hand("http://www.example.com/d", "w", 0, 3);  // 1/3 x 6 = 2
  hand("http://127.0.0.1/e", "v", 0, 4);        // 1/4, deleted below
  view_->SortByColumn(kColumnText);
  ASSERT_TRUE(model_->Remove(0));  // "v"
  QHeaderView* header = view_->list()->horizontalHeader();
  ASSERT_TRUE(header->isSortIndicatorShown());

  frame_->rankCommands()->rankOrderAction->trigger();
  std::vector<std::string> rows;
  for (int r = 0; r < model_->rowCount(); ++r) rows.push_back(RowUrl(r));
  EXPECT_EQ(rows, (std::vector<std::string>{"http://127.0.0.1/c", "http://www.example.com/d",
                                            "http://127.0.0.1/a", "http://127.0.0.1/b"}));
  EXPECT_FALSE(header->isSortIndicatorShown());
  EXPECT_TRUE(prompts_.messages.empty());

  frame_->rankCommands()->arrivalOrderAction->trigger();
  rows.clear();
  for (int r = 0; r < model_->rowCount(); ++r) rows.push_back(RowUrl(r));
  EXPECT_EQ(rows, (std::vector<std::string>{"http://127.0.0.1/a", "http://127.0.0.1/b",
                                            "http://127.0.0.1/c", "http://www.example.com/d"}));

  // Rows that did not come from the search (an opened document, here made
  // by hand) are left as they are: the search's finders are not theirs.
  frame_->document().OnNewDocument();
  view_->OnDocumentReplaced();
  Fill(3);
  view_->SortByColumn(kColumnUrl);
  view_->SortByColumn(kColumnUrl);
  frame_->rankCommands()->RankOrder();
  EXPECT_EQ(RowUrl(0), Url(2));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0], kRankNeedsSearch);
}

// --- Save as HTML ---

TEST_F(ResultsViewTest, SaveAsHtmlWritesTheExport) {
  model_->Append("http://127.0.0.1/x", "<script>alert(1)</script>", "e", kNotValidated, 0);
  prompts_.fileToSave = QString::fromStdString(home_.File("out.htm"));
  view_->saveAsHtmlAction->trigger();
  EXPECT_EQ(::trovelane::testing::ReadFileBytes(home_.File("out.htm")),
            RenderResultsHtml(frame_->document().results()));
  prompts_.fileToSave = QString::fromStdString(home_.File("no/such/folder/out.htm"));
  view_->SaveAsHtml();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].rfind("Error while opening file", 0), 0u);

  // A saved document offers NAME.htm; a name typed without an extension gets one.
  prompts_.fileToSave = QString::fromStdString(home_.File("found.qmk"));
  ASSERT_TRUE(frame_->SaveDocumentAs());
  prompts_.fileToSave = QString::fromStdString(home_.File("page"));
  view_->SaveAsHtml();
  EXPECT_EQ(prompts_.requests.back().initialName, "found.htm");
  EXPECT_TRUE(std::filesystem::exists(home_.File("page.htm")));
}

// --- Results of a real search ---

TEST_F(ResultsViewTest, FirstResultGivesTheDocumentItsSearchText) {
  ASSERT_TRUE(SearchFor("lantern river"));
  ASSERT_GT(model_->rowCount(), 0);
  EXPECT_EQ(frame_->document().results().searchText(), "lantern&river");
  for (int row = 0; row < model_->rowCount(); ++row) {
    EXPECT_TRUE(RowUrl(row).starts_with(server_.BaseUrl())) << RowUrl(row);
  }
}

// --- Validate ---

class ValidateTest : public ResultsViewTest {
 protected:
  using ResultsViewTest::ResultsViewTest;
  void SetUp() override {
    ResultsViewTest::SetUp();
    for (const auto& page : server_.Pages().Pages()) {
      if (page.state == sample::PageState::kGone && gone_.empty()) gone_ = server_.BaseUrl() + page.path;
      if (page.state != sample::PageState::kLive || !word_.empty()) continue;
      for (const auto& w : page.words) {
        if (w.where == "title") {
          word_ = w.word;
          live_ = server_.BaseUrl() + page.path;
          break;
        }
      }
    }
    ASSERT_FALSE(word_.empty());
    ASSERT_FALSE(gone_.empty());
    frame_->document().results().SetSearchText(word_);
    // Relevance needs weights; a new install has none.
    auto& search = state_.settings.search;
    search.weights = {50, 40, 30, 20, 10, 20, 10, 5};
    search.maxRelevance = ComputeMaxRelevance(search.weights);
  }
  bool WaitForChecks() {
    return WaitFor([&] { return view_->RunningValidations() == 0; });
  }
  std::string word_, live_, gone_;
};

TEST_F(ValidateTest, ChecksEachRowInTheBackground) {
  model_->Append(live_, "live", "e", kNotValidated, 0);
  model_->Append(gone_, "gone", "e", kNotValidated, 0);
  frame_->document().SetModifiedFlag(false);
  view_->SelectRows({0, 1});
  view_->validateAction->trigger();
  EXPECT_EQ(view_->RunningValidations(), 2);
  EXPECT_EQ(model_->Overlay(0), kOverlayValidating);
  EXPECT_EQ(model_->Overlay(1), kOverlayValidating);
  ASSERT_TRUE(WaitForChecks());
  const ResultsStore& store = frame_->document().results();
  EXPECT_EQ(store.record(0).validationState, kValidatedReachable);
  EXPECT_GT(store.record(0).relevance, 0);
  EXPECT_EQ(model_->Overlay(0), kOverlayReachable);
  EXPECT_EQ(store.record(1).validationState, kValidatedUnreachable);
  EXPECT_EQ(model_->Overlay(1), kOverlayUnreachable);
  EXPECT_TRUE(frame_->document().IsModified());
  EXPECT_TRUE(prompts_.asked.empty());
}

TEST_F(ValidateTest, AsksBeforeCheckingAValidatedRowAgain) {
  model_->Append(live_, "live", "e", kValidatedReachable, 50);
  view_->SelectRows({0});
  prompts_.answers = {false};
  view_->ValidateSelected();
  ASSERT_EQ(prompts_.asked.size(), 1u);
  EXPECT_EQ(prompts_.asked[0], "t r o v e l a n e has already validated the URL " + live_ +
                                   ".\nAre you sure you would like to validate it again ?");
  EXPECT_EQ(view_->RunningValidations(), 0);
  prompts_.answers = {true};
  view_->ValidateSelected();
  EXPECT_EQ(view_->RunningValidations(), 1);
  ASSERT_TRUE(WaitForChecks());
}

TEST_F(ValidateTest, AnOutcomeForARowThatChangedIsDropped) {
  model_->Append(live_, "b-live", "e", kNotValidated, 0);
  model_->Append("http://127.0.0.1:1/a", "a-other", "e", kNotValidated, 0);
  view_->SelectRows({0});
  view_->ValidateSelected();
  // Re-sorted before the check ends: row 0 now holds another URL.
  view_->SortByColumn(kColumnText);
  ASSERT_NE(RowUrl(0), live_);
  ASSERT_TRUE(WaitForChecks());
  EXPECT_EQ(frame_->document().results().record(0).validationState, kNotValidated);
  EXPECT_EQ(frame_->document().results().record(1).validationState, kNotValidated);
}

TEST_F(ValidateTest, WithoutAnExpressionNothingIsChecked) {
  frame_->document().results().SetSearchText("");
  model_->Append(live_, "live", "e", kNotValidated, 0);
  view_->SelectRows({0});
  view_->ValidateSelected();
  EXPECT_EQ(view_->RunningValidations(), 0);
  ASSERT_EQ(prompts_.messages.size(), 1u);
}

// A check that outlives its document or its window must touch neither.
class SlowPagesValidateTest : public ValidateTest {
 protected:
  static sample::SampleServerOptions SlowPages() {
    sample::SampleServerOptions o = Options();
    o.pageLatencyMs = 1500;
    return o;
  }
  SlowPagesValidateTest() : ValidateTest(SlowPages()) {}
};

TEST_F(SlowPagesValidateTest, ACheckThatOutlivesItsDocumentOrWindowTouchesNeither) {
  model_->Append(live_, "live", "e", kNotValidated, 0);
  view_->SelectRows({0});
  view_->ValidateSelected();
  ASSERT_EQ(view_->RunningValidations(), 1);
  // A new document holding the same URL in row 0: the old check is not its.
  frame_->document().SetModifiedFlag(false);
  ASSERT_TRUE(frame_->NewDocument());
  EXPECT_EQ(view_->RunningValidations(), 0);
  model_->Append(live_, "live", "e", kNotValidated, 0);
  ASSERT_TRUE(WaitFor([] { return RowValidation::Running() == 0; }));
  QTest::qWait(100);  // time for a wrongly delivered outcome to arrive
  EXPECT_EQ(frame_->document().results().record(0).validationState, kNotValidated);

  // The window goes while a check runs; the check ends later on its own.
  frame_->document().results().SetSearchText(word_);
  view_->SelectRows({0});
  view_->ValidateSelected();
  ASSERT_EQ(view_->RunningValidations(), 1);
  frame_->document().SetModifiedFlag(false);
  frame_.reset();
  // The check ends after the window (cancelled); under the sanitizers any
  // touch of either would be reported here.
  ASSERT_TRUE(WaitFor([] { return RowValidation::Running() == 0; }));
  QTest::qWait(100);
}

}  // namespace
}  // namespace trovelane::ui
