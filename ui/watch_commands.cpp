#include "ui/watch_commands.h"

#include <sys/stat.h>

#include <QAction>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>

#include "net/http_url.h"
#include "search/search_status.h"
#include "search/validation_fetch.h"
#include "ui/main_window.h"
#include "ui/search_bridge.h"

namespace trovelane::ui {

// What the comparison thread works on: its own copies, and its outcome.
struct WatchJob {
  ResultsStore store;
  int32_t arrivalsBefore = 0;
  std::vector<ResultHandoff> found;
  std::vector<std::vector<ResultFinder>> finders;
  std::vector<EngineReport> reports;
  EngineCatalogue catalogue;
  NetworkSettings settings;
  WatchRun run;
  WatchSummary summary;
};

// The watch's search ends here: the comparison is posted, so that the
// bridge is not destroyed inside its own drain.
class WatchCommands::Events : public WatchEvents {
 public:
  explicit Events(WatchCommands& owner) : owner_(owner) {}
  void OnSearchingChanged(bool searching) override {
    if (!searching) QTimer::singleShot(0, &owner_, [this] { owner_.SearchEnded(); });
  }

 private:
  WatchCommands& owner_;
};

QString WatchStatusText(const WatchSummary& summary) {
  return QStringLiteral("%1 new, %2 dead").arg(summary.added).arg(summary.dead);
}

WatchCommands::WatchCommands(QWidget* window, ProgramState& state, CQuivmarkView& view,
                             UserPrompts& prompts)
    : QObject(window), window_(window), state_(state), view_(view), prompts_(prompts) {
  searchAgainAction = new QAction(QStringLiteral("Search &Again"), window);
  searchAgainAction->setStatusTip(
      QStringLiteral("Search this document's search again and mark what is new and what died"));
  connect(searchAgainAction, &QAction::triggered, this, &WatchCommands::SearchAgain);
  searchOnOpenAction = new QAction(QStringLiteral("Search Again When &Opened"), window);
  searchOnOpenAction->setCheckable(true);
  searchOnOpenAction->setStatusTip(
      QStringLiteral("Search this document's search again each time the document is opened"));
  connect(searchOnOpenAction, &QAction::triggered, this, &WatchCommands::SetSearchOnOpen);
  ShowDocumentOption();
}

namespace {

QSettings UserSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("trovelane"),
                   QStringLiteral("trovelane"));
}

QString DocumentFile(const std::string& path) {
  return path.empty() ? QString() : QFileInfo(QString::fromStdString(path)).absoluteFilePath();
}

}  // namespace

bool WatchCommands::SearchOnOpen() const {
  const QString file = DocumentFile(view_.model()->document().pathName());
  return !file.isEmpty() &&
         UserSettings().value(QString::fromLatin1(kSearchOnOpenKey)).toStringList().contains(file);
}

void WatchCommands::SetSearchOnOpen(bool on) {
  const QString file = DocumentFile(view_.model()->document().pathName());
  if (!file.isEmpty()) {
    QSettings settings = UserSettings();
    QStringList files = settings.value(QString::fromLatin1(kSearchOnOpenKey)).toStringList();
    files.removeAll(file);
    if (on) files.append(file);
    settings.setValue(QString::fromLatin1(kSearchOnOpenKey), files);
  }
  ShowDocumentOption();
}

void WatchCommands::ShowDocumentOption() {
  // Only a saved document has a file to keep the option for.
  searchOnOpenAction->setEnabled(!view_.model()->document().pathName().empty());
  searchOnOpenAction->setChecked(SearchOnOpen());
}

void WatchCommands::DocumentOpened() {
  ShowDocumentOption();
  if (SearchOnOpen()) QTimer::singleShot(0, this, &WatchCommands::SearchAgain);
}

WatchCommands::~WatchCommands() {
  stop_ = true;
  delete bridge_;  // stops the search
  if (compare_.joinable()) compare_.join();
}

void WatchCommands::SetWindowSearching(bool searching) {
  windowSearching_ = searching;
  searchAgainAction->setEnabled(!searching && !running_);
}

void WatchCommands::SetRunning(bool running) {
  running_ = running;
  searchAgainAction->setEnabled(!running && !windowSearching_);
  emit runningChanged(running);
}

void WatchCommands::SearchAgain() {
  if (running_ || windowSearching_) return;
  const ResultsStore& store = view_.model()->store();
  if (store.searchText().empty()) {
    prompts_.Inform(window_, QString::fromUtf8(kNoSearchToRepeat));
    return;
  }
  catalogue_ = state_.catalogue;
  settings_ = EffectiveSearchSettings(state_.settings);
  std::vector<std::string> missing;
  ApplyWatchedSearch(store, catalogue_, settings_.search, &missing);
  if (std::none_of(catalogue_.engines.begin(), catalogue_.engines.end(),
                   [](const EngineDefinition& e) { return e.selected; })) {
    prompts_.Inform(window_, QString::fromUtf8(kNoEngineSelected));
    return;
  }
  search_ = store.watchedSearch() ? *store.watchedSearch()
                                  : DescribeWatchedSearch(catalogue_, settings_.search);
  stop_ = false;
  events_ = std::make_unique<Events>(*this);
  bridge_ = new SearchBridge(settings_, catalogue_, state_.home.root(), *events_);
  bridge_->run().SetSuspensions(&state_.suspensions);
  SetRunning(true);
  const StartOutcome outcome = bridge_->run().StartSearch(store.searchText());
  if (outcome != StartOutcome::kStarted) {
    std::string why = bridge_->run().startError();
    if (outcome == StartOutcome::kInvalidExpression) why = kInvalidExpression;
    if (outcome == StartOutcome::kNothingToSearch) why = kNothingToSearch;
    if (why.empty()) why = "The search did not start.";
    delete bridge_;
    bridge_ = nullptr;
    SetRunning(false);
    prompts_.Inform(window_, QString::fromStdString(why));
  }
}

void WatchCommands::Stop() {
  if (!running_) return;
  stop_ = true;
  if (bridge_) bridge_->run().StopSearch();
}

void WatchCommands::SearchEnded() {
  if (!bridge_) return;
  SearchRun& run = bridge_->run();
  bool anyReached = false;
  for (const EngineReport& report : run.engineReports()) {
    if (report.ending == EngineEnding::kNotRun) continue;
    anyReached = anyReached || report.reached || report.results > 0;
  }
  if (!anyReached) {
    // Nobody answered: that proves nothing about the saved results.
    delete bridge_;
    bridge_ = nullptr;
    SetRunning(false);
    emit finished(QString::fromUtf8(kWatchNoEngineReached));
    return;
  }
  auto job = std::make_shared<WatchJob>();
  job->store = view_.model()->store();
  job->arrivalsBefore = job->store.arrivals();
  job->found = events_->found();
  job->finders = run.resultFinders();
  job->reports = run.engineReports();
  job->catalogue = catalogue_;
  job->settings = settings_;
  delete bridge_;
  bridge_ = nullptr;

  WatchRun& in = job->run;
  in.found = &job->found;
  in.finders = &job->finders;
  in.reports = &job->reports;
  in.catalogue = &job->catalogue;
  in.search = search_;
  in.now = std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
               .count();
  // Records not watched before were first seen when the document was saved,
  // or now for a document never saved.
  in.documentTime = in.now;
  const std::string& path = view_.model()->document().pathName();
  struct stat info {};
  if (!path.empty() && ::stat(path.c_str(), &info) == 0) in.documentTime = info.st_mtime;
  in.maxChecks = job->settings.program.maxWatchChecks;
  in.stopRequested = [this] { return stop_.load(); };
  if (compare_.joinable()) compare_.join();
  compare_ = std::thread([this, job] {
    CHttpURL page;
    job->run.checkPage = [&](const std::string& url) { return CheckPage(page, url, job->settings); };
    job->summary = ApplyWatch(job->store, job->run);
    // Dropped by Qt when the commands are gone; the destructor joins first.
    QMetaObject::invokeMethod(this, [this, job] { Taken(job); }, Qt::QueuedConnection);
  });
}

void WatchCommands::Taken(const std::shared_ptr<WatchJob>& job) {
  view_.model()->TakeWatch(job->store, job->arrivalsBefore);
  SetRunning(false);
  emit finished(WatchStatusText(job->summary));
}

}  // namespace trovelane::ui
