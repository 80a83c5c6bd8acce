#include "ui/rank_commands.h"

#include <QAction>
#include <QWidget>

#include "search/rank_order.h"
#include "ui/dialogs/rank_options_dialog.h"

namespace trovelane::ui {

RankCommands::RankCommands(QWidget* window, ProgramState& state, SearchRun& run,
                           CQuivmarkView& view, UserPrompts& prompts)
    : QObject(window), window_(window), state_(state), run_(run), view_(view), prompts_(prompts) {
  rankOrderAction = new QAction(QStringLiteral("&Rank Order"), window);
  rankOrderAction->setStatusTip(
      QStringLiteral("Results found by more engines, earlier and by weightier engines first"));
  arrivalOrderAction = new QAction(QStringLiteral("Arri&val Order"), window);
  arrivalOrderAction->setStatusTip(QStringLiteral("Results in the order they came in"));
  optionsAction = new QAction(QStringLiteral("Ran&k and Engine Options..."), window);
  optionsAction->setStatusTip(
      QStringLiteral("Domains never listed, rank factors, contact address, SearXNG instance"));
  connect(rankOrderAction, &QAction::triggered, this, &RankCommands::RankOrder);
  connect(arrivalOrderAction, &QAction::triggered, this, &RankCommands::ArrivalOrder);
  connect(optionsAction, &QAction::triggered, this, &RankCommands::OpenOptions);
}

void RankCommands::RankOrder() {
  if (run_.searching()) {
    prompts_.Inform(window_, QString::fromUtf8(kRankWaitsForSearch));
    return;
  }
  if (!view_.RowsFromLastSearch()) {
    prompts_.Inform(window_, QString::fromUtf8(kRankNeedsSearch));
    return;
  }
  const RankRules rules = RankRulesFor(state_.catalogue.engines, state_.settings.program);
  view_.ShowInOrder(RankRows(view_.model()->store().records(), run_.resultFinders(), rules));
}

void RankCommands::ArrivalOrder() { view_.ShowInArrivalOrder(); }

void RankCommands::OpenOptions() {
  // Giving a SearXNG address changes the profile the running search reads.
  if (run_.searching()) {
    prompts_.Inform(window_, QString::fromUtf8(kOptionsWaitForSearch));
    return;
  }
  RankOptionsDialog dialog(state_, prompts_, window_);
  connect(&dialog, &RankOptionsDialog::settingsSaved, this, &RankCommands::settingsSaved);
  dialog.exec();
}

}  // namespace trovelane::ui
