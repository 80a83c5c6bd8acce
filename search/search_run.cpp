#include "search/search_run.h"

#include <algorithm>

#include "platform/ascii.h"
#include "search/accept_link.h"
#include "search/search_status.h"
#include "search/search_text.h"

namespace trovelane {
namespace {

// How long Stop waits for the stopped threads in all before it leaves the
// rest to finish on their own.
constexpr auto kStopWait = std::chrono::milliseconds(900);

}  // namespace

int ResolveValidationMode(int mode, int weight) {
  if (mode != kValidationAuto) return mode;
  if (weight > 2) return kValidationValRel;
  if (weight == 2) return kValidationVal;
  return kValidationNone;
}

SearchRun::SearchRun(const NetworkSettings& settings, const EngineCatalogue& catalogue,
                     std::filesystem::path workFolder, SearchEvents& events,
                     std::function<void()> wake)
    : settings_(settings),
      catalogue_(catalogue),
      workFolder_(std::move(workFolder)),
      events_(events),
      queue_(std::make_shared<OwnerThreadQueue>(std::move(wake))) {}

SearchRun::~SearchRun() {
  StopSearch();
  JoinEndedWorkers();
}

StartOutcome SearchRun::StartSearch(std::string_view text) {
  queue_->AssertOwnerThread();
  if (searching_) return StartOutcome::kAlreadySearching;
  JoinEndedWorkers();

  if (shared_) shared_->duplicates.ResetDuplicates();
  std::string normalized = NormalizeSearchText(TrimBlanks(text), settings_.search.defaultOperator);

  expression_.reset();
  expression_ = ParseExpression(normalized);
  if (!expression_) return StartOutcome::kInvalidExpression;

  if (!events_.OnNewDocument()) return StartOutcome::kDocumentRefused;
  events_.OnSearchHistory(normalized);

  std::string title(TrimBlanks(RenderPlain(expression_->Root(), "_")));
  if (title.empty()) return StartOutcome::kNothingToSearch;
  events_.OnDocumentTitle(title);

  expressionWeight_ = ExpressionWeight(expression_->Root());
  effectiveValidationMode_ =
      ResolveValidationMode(settings_.search.validationMode, expressionWeight_);

  // A fresh shared state per run: a worker of an earlier run that Stop left
  // to finish on its own keeps its own.
  shared_ = std::make_shared<SearchShared>(settings_.search, effectiveValidationMode_, queue_,
                                           settings_.program.validationsPerSearch);
  shared_->readBackFake = readBackFake_;
  lastStatus_.clear();

  reports_.assign(catalogue_.engines.size(), EngineReport{});
  resultsByEngine_.assign(catalogue_.engines.size(), 0);
  finders_.clear();
  resultOfKey_.clear();
  for (size_t i = 0; i < catalogue_.engines.size(); ++i) {
    reports_[i].engineName = catalogue_.engines[i].name;
  }
  // Suspended engines get no worker; their rows say until when.
  std::vector<bool> skipped(catalogue_.engines.size(), false);
  if (suspensions_) {
    const WallClock::time_point now = clock_();
    for (size_t i = 0; i < catalogue_.engines.size(); ++i) {
      const EngineDefinition& engine = catalogue_.engines[i];
      if (!engine.selected || ignoreSuspension_) continue;
      if (const Suspension* s = suspensions_->Active(engine.name, now)) {
        skipped[i] = true;
        EngineReport& r = reports_[i];
        r.ending = EngineEnding::kSuspended;
        r.block = s->kind;
        r.blockStatus = s->httpStatus;
        r.suspendedUntil = s->until;
      }
    }
  }

  startError_.clear();
  // Each worker holds two descriptors and gets a thread; the system may
  // refuse either part-way.
  try {
    for (size_t i = 0; i < catalogue_.engines.size(); ++i) {
      const EngineDefinition& engine = catalogue_.engines[i];
      if (!engine.selected || skipped[i]) continue;
      if (startFaultFake_) startFaultFake_(StartStep::kCreateWorker, static_cast<int>(i));
      workers_.Append(std::make_shared<SearchWorker>(shared_, this, static_cast<int>(i), engine,
                                                     *expression_, settings_, workFolder_));
    }
    // Every worker exists before the first thread starts.
    for (const auto& worker : workers_.all()) {
      if (startFaultFake_) startFaultFake_(StartStep::kStartThread, worker->engineIndex());
      SearchWorker::StartThread(worker);
    }
  } catch (const std::exception& error) {
    return AbandonStart(error.what());
  }

  searching_ = true;
  events_.OnSearchingChanged(true);
  for (size_t i = 0; i < skipped.size(); ++i) {
    if (!skipped[i]) continue;
    Suspension shown{catalogue_.engines[i].name, *reports_[i].suspendedUntil, reports_[i].block,
                     reports_[i].blockStatus};
    events_.OnEngineRow(static_cast<int>(i), SuspendedText(shown));
  }
  if (workers_.empty()) EndRun();  // no engine selected: nothing will report
  return StartOutcome::kStarted;
}

StartOutcome SearchRun::AbandonStart(const std::string& reason) {
  // The threads already started are stopped and joined (or, stuck, left to
  // finish on their own, detached) before the workers go.
  for (const auto& worker : workers_.all()) worker->Cancel();
  queue_->WakeSenders();
  const auto deadline = std::chrono::steady_clock::now() + kStopWait;
  for (const auto& worker : workers_.all()) worker->JoinUntil(deadline);
  while (!workers_.empty()) workers_.Remove(workers_.all().front());
  // What they queued before they saw the flag does nothing now.
  queue_->WakeSenders();
  startError_ = "The search could not start: " + reason;
  return StartOutcome::kStartFailed;
}

void SearchRun::StopSearch() {
  queue_->AssertOwnerThread();
  if (!searching_) return;
  std::vector<std::shared_ptr<SearchWorker>> stopped;
  for (size_t i = 0; i < catalogue_.engines.size(); ++i) {
    const bool suspended = i < reports_.size() && reports_[i].ending == EngineEnding::kSuspended;
    if (catalogue_.engines[i].selected && !suspended && !workers_.Find(static_cast<int>(i))) {
      events_.OnEngineRow(static_cast<int>(i), kNotActive);
    }
  }
  // Every live worker, in catalogue order (also one whose engine was
  // deselected meanwhile).
  while (!workers_.empty()) {
    std::shared_ptr<SearchWorker> worker = workers_.all().front();
    events_.OnEngineRow(worker->engineIndex(), kTryingToStop);
    worker->Cancel();
    // A worker waiting in a send returns at once.
    queue_->WakeSenders();
    TakeReport(*worker, true);
    events_.OnEngineRow(worker->engineIndex(), kNotActive);
    workers_.Remove(worker);
    stopped.push_back(std::move(worker));
  }
  const auto deadline = std::chrono::steady_clock::now() + kStopWait;
  for (const auto& worker : stopped) worker->JoinUntil(deadline);

  EndRun();
}

void SearchRun::OnSearchStatus(int engineIndex, const std::string& text) {
  queue_->AssertOwnerThread();
  lastStatus_ = text;
  events_.OnStatusPane(FormatResultsFound(resultTotal()));
  events_.OnEngineRow(engineIndex, text);
}

void SearchRun::OnResult(const ResultHandoff& result) {
  queue_->AssertOwnerThread();
  if (result.engineIndex >= 0 && static_cast<size_t>(result.engineIndex) < resultsByEngine_.size()) {
    ++resultsByEngine_[result.engineIndex];
  }
  if (result.duplicateKey != kNoDuplicateKey) resultOfKey_[result.duplicateKey] = finders_.size();
  finders_.push_back({ResultFinder{result.engineIndex, result.position}});
  events_.OnResult(result);
}

void SearchRun::TakeReport(const SearchWorker& worker, bool stopped) {
  const size_t index = static_cast<size_t>(worker.engineIndex());
  if (index >= reports_.size()) return;
  EngineReport report = worker.report();
  // A stopped worker may not have come to its ending yet.
  if (stopped && report.ending == EngineEnding::kNotRun) report.ending = EngineEnding::kStopped;
  report.results = resultsByEngine_[index];
  if (report.ending == EngineEnding::kBlocked && suspensions_) {
    Suspension s{report.engineName, clock_() + SuspensionLength(report.block, report.namedWait),
                 report.block, report.blockStatus};
    suspensions_->Suspend(s);
    report.suspendedUntil = s.until;
    events_.OnSuspensionsChanged();
  }
  reports_[index] = std::move(report);
}

void SearchRun::MergeSightings() {
  if (!shared_) return;
  for (const SearchShared::Sighting& s : shared_->TakeSightings()) {
    auto it = resultOfKey_.find(s.duplicateKey);
    if (it == resultOfKey_.end()) continue;  // its first finder never handed it over
    std::vector<ResultFinder>& finders = finders_[it->second];
    const bool known = std::any_of(finders.begin(), finders.end(), [&](const ResultFinder& f) {
      return f.engineIndex == s.engineIndex;
    });
    if (!known) finders.push_back({s.engineIndex, s.position});
  }
}

void SearchRun::OnWorkerDone(int engineIndex) {
  queue_->AssertOwnerThread();
  if (std::shared_ptr<SearchWorker> worker = workers_.Find(engineIndex)) {
    TakeReport(*worker, false);
    // An engine that blocked is suspended now; its row says until when.
    std::string row = kNotActive;
    const size_t index = static_cast<size_t>(engineIndex);
    if (index < reports_.size() && reports_[index].ending == EngineEnding::kBlocked &&
        reports_[index].suspendedUntil) {
      const EngineReport& report = reports_[index];
      row = SuspendedText(Suspension{report.engineName, *report.suspendedUntil, report.block,
                                     report.blockStatus});
    }
    events_.OnEngineRow(engineIndex, row);
    workers_.Remove(worker);
    ended_.push_back(std::move(worker));
  }
  if (searching_ && workers_.empty()) EndRun();
}

void SearchRun::EndRun() {
  MergeSightings();
  // Kept connections are not left open past the search; a worker that a
  // Stop left to finish on its own closes its own.
  if (shared_) shared_->connections->Close();
  events_.OnStatusPane(kReady);
  searching_ = false;
  if (shared_) shared_->duplicates.ResetDuplicates();
  events_.OnSearchingChanged(false);
}

void SearchRun::JoinEndedWorkers() {
  const auto deadline = std::chrono::steady_clock::now() + kStopWait;
  for (const auto& worker : ended_) worker->JoinUntil(deadline);
  ended_.clear();
}

bool SearchRun::ServeUntilDone(std::chrono::milliseconds timeout,
                               const std::function<bool()>& until) {
  queue_->AssertOwnerThread();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (searching_) {
    if (until && until()) {
      StopSearch();
      break;
    }
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    auto slice = std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(50),
                                                               deadline - now);
    queue_->WaitAndDrain(std::chrono::duration_cast<std::chrono::milliseconds>(slice) +
                         std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace trovelane
