#include "search/search_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "search/engine_loop.h"
#include "search/plugin_host.h"
#include "search/search_run.h"
#include "search/search_status.h"
#include "search/validation_fetch.h"

namespace trovelane {

std::filesystem::path SpoolFilePath(const std::filesystem::path& folder, long tid) {
  return folder / ("sdump" + std::to_string(tid) + ".bin");
}

SearchWorker::SearchWorker(std::shared_ptr<SearchShared> shared, SearchRun* run, int engineIndex,
                           const EngineDefinition& engine, const SearchExpression& expression,
                           const NetworkSettings& settings, std::filesystem::path workFolder)
    : shared_(std::move(shared)),
      run_(run),
      engineIndex_(engineIndex),
      engineName_(engine.name),
      settings_(settings),
      workFolder_(std::move(workFolder)),
      engine_(engine),
      expression_(expression),
      checks_(&shared_->checkRunner, settings.program.validationsPerEngine,
              shared_->connections.get()) {
  {
    MutexLock guard(&reportMutex_);
    report_.engineName = engine.name;
  }
  connection_.SetTimeouts(settings.program);
  // The engine's pages keep their connection from one to the next; the
  // checks of its results take others.
  connection_.KeepConnectionsForItself();
  connection_.SetConnectionPool(shared_->connections.get());
  SetUpValidationConnection(validationConnection_, {}, settings.program,
                            shared_->connections.get());
}

void SearchWorker::StartThread(const std::shared_ptr<SearchWorker>& worker) {
  worker->shared_->queue->AssertOwnerThread();
  // The thread keeps its worker alive: Stop may give up waiting for it.
  worker->thread_ = std::thread([worker] { worker->SearchWorkerMain(); });
}

void SearchWorker::SearchWorkerMain() {
  {
    MutexLock guard(&lock_);
    spoolPath_ = SpoolFilePath(workFolder_, static_cast<long>(gettid()));
  }
  // Nothing may leave the thread: an error ends this engine only, with a
  // status that says why, and the end is still reported.
  try {
    if (!cancelled()) {
      if (engine_.isPlugin) {
        RunPluginEngine(*this, engine_);
      } else {
        RunEngineLoop(*this, engine_);
      }
    }
  } catch (const std::bad_alloc&) {
    ReportFailure(kStatusOutOfMemory);
  } catch (const std::exception& error) {
    ReportFailure(FormatStatus(kStatusEngineError, error.what()));
  } catch (...) {
    ReportFailure(FormatStatus(kStatusEngineError, "unknown error"));
  }
  // The engine's checks refer to this worker: an engine that failed part-way
  // still waits for them (the loop itself waits at its end).
  checks_.Wait();
  try {
    End(cancelled() ? EngineEnding::kStopped : EngineEnding::kDone);
  } catch (...) {
    // Only the report's allocation can fail; the engine then keeps the
    // ending it had (an error reported above, or none), and the thread goes
    // on to tell the owner that it is done.
  }
  try {
    if (connection_.IsConnected()) connection_.Close();
    validationConnection_.Close();
    std::string unused;
    FinishSpoolFile(false, unused, 0);

    SearchRun* run = run_;
    const int index = engineIndex_;
    RunTask([run, index] { run->OnWorkerDone(index); });
  } catch (...) {
    // Only the queue's allocation can fail here; the owner then learns of
    // the end from finished() when it joins.
  }

  MutexLock guard(&shared_->endMutex);
  finished_ = true;
  shared_->ended.SignalAll();
}

void SearchWorker::UpdateReport(const std::function<void(EngineReport&)>& change) {
  MutexLock guard(&reportMutex_);
  change(report_);
}

void SearchWorker::End(EngineEnding ending, const std::string& detail) {
  MutexLock guard(&reportMutex_);
  if (report_.ending != EngineEnding::kNotRun) return;
  report_.ending = ending;
  if (ending == EngineEnding::kError) report_.detail = detail;
}

EngineReport SearchWorker::report() const {
  MutexLock guard(&reportMutex_);
  return report_;
}

void SearchWorker::ReportFailure(const std::string& text) noexcept {
  try {
    End(EngineEnding::kError, text);
    SendStatus(text);
  } catch (...) {
    // No memory even for the failure's text: the worker still ends, and the
    // owner learns of the end from OnWorkerDone or finished().
  }
}

void SearchWorker::RunTask(std::function<void()> task) {
  // The task checks the flag again on the owner thread: Stop may have run
  // between the queueing and the drain.
  shared_->queue->Send(
      [this, &task] {
        if (!cancelled()) task();
      },
      cancelled_);
}

void SearchWorker::SendStatus(const std::string& text) {
  // Each sender's own copy: the checks' threads send at the same time.
  const std::string sent = text.substr(0, 1023);
  SearchRun* run = run_;
  const int index = engineIndex_;
  RunTask([run, index, &sent] { run->OnSearchStatus(index, sent); });
}

bool SearchWorker::LimitReached(int perEngineCount) {
  MutexLock guard(&shared_->resultLock);
  return shared_->LimitReached(perEngineCount);
}

SearchWorker::Admission SearchWorker::AdmitResult(int perEngineCount, const std::string& url,
                                                  const std::string& title, int& position,
                                                  size_t& duplicateKey) {
  MutexLock guard(&shared_->resultLock);
  if (cancelled()) return Admission::kStopped;
  if (shared_->LimitReached(perEngineCount)) return Admission::kLimitReached;
  position = ++pageMemory_.resultPosition;
  if (shared_->duplicates.IsDuplicate(url, title, &duplicateKey)) {
    shared_->AddSighting({duplicateKey, engineIndex_, position});
    return Admission::kDuplicate;
  }
  return Admission::kNew;
}

void SearchWorker::AddSighting(size_t duplicateKey, int position) {
  shared_->AddSighting({duplicateKey, engineIndex_, position});
}

SearchWorker::HandOffOutcome SearchWorker::HandOff(const std::string& url, const std::string& title,
                                                   int validated, int relevance,
                                                   std::atomic<int>& perEngineCount,
                                                   std::string_view engineName, int position,
                                                   size_t duplicateKey) {
  if (url.size() >= ResultHandoff::kUrlSize) return HandOffOutcome::kDoesNotFit;
  ResultHandoff handoff;
  handoff.url = url;
  handoff.title = title.substr(0, ResultHandoff::kTitleSize - 1);
  handoff.engineName = std::string(engineName.empty() ? std::string_view(engineName_) : engineName)
                           .substr(0, ResultHandoff::kEngineNameSize - 1);
  handoff.engineIndex = engineIndex_;
  handoff.validated = validated;
  handoff.relevance = shared_->validationMode == kValidationValRel ? relevance : -1;
  handoff.position = position;
  handoff.duplicateKey = duplicateKey;

  bool delivered = false;
  bool counted = false;
  SearchRun* run = run_;
  OwnerThreadQueue::Ticket ticket;
  {
    MutexLock guard(&shared_->resultLock);
    if (cancelled()) return HandOffOutcome::kStopped;
    // Other engines may have handed over results while this one was validated.
    if (shared_->LimitReached(perEngineCount.load())) return HandOffOutcome::kLimitReached;
    // The count of a late page may start at the largest int (it is clamped);
    // it then stays there.
    counted = perEngineCount < std::numeric_limits<int>::max();
    if (counted) ++perEngineCount;
    shared_->resultTotal.fetch_add(1);
    // Queued under the lock, so results reach the owner in the order they
    // were counted; waited for after it, so that other workers can test the
    // limit and queue theirs meanwhile, and the owner takes them together.
    ticket = shared_->queue->Post(
        [this, run, &handoff, &delivered] {
          if (cancelled()) return;
          run->OnResult(handoff);
          delivered = true;
        },
        cancelled_);
  }
  shared_->queue->Await(ticket, cancelled_);
  if (!delivered) {
    // Stopped while waiting: nothing was handed over, so nothing is counted.
    MutexLock guard(&shared_->resultLock);
    if (counted) --perEngineCount;
    shared_->resultTotal.fetch_sub(1);
    return HandOffOutcome::kStopped;
  }
  return HandOffOutcome::kDelivered;
}

void SearchWorker::Cancel() {
  shared_->queue->AssertOwnerThread();
  FILE* file = nullptr;
  std::filesystem::path path;
  {
    MutexLock guard(&lock_);
    cancelled_ = true;
    connection_.Cancel();
    validationConnection_.Cancel();
    checks_.CancelAll();
    // A worker in the middle of a write holds the handle itself; it sees the
    // flag when it gives the handle back and discards the file then.
    file = std::exchange(spoolFile_, nullptr);
    path = spoolPath_;
  }
  if (file) std::fclose(file);
  if (!path.empty()) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

bool SearchWorker::JoinUntil(std::chrono::steady_clock::time_point deadline) {
  shared_->queue->AssertOwnerThread();
  if (!thread_.joinable()) return true;
  {
    MutexLock wait(&shared_->endMutex);
    while (!finished_.load()) {
      if (!shared_->ended.WaitUntil(&shared_->endMutex, deadline)) break;
    }
  }
  if (finished_) {
    thread_.join();
    return true;
  }
  thread_.detach();
  return false;
}

void SearchWorker::DiscardSpoolFile(FILE* file) {
  if (file) std::fclose(file);
  std::filesystem::path path;
  {
    MutexLock guard(&lock_);
    path = spoolPath_;
  }
  if (!path.empty()) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

bool SearchWorker::CreateSpoolFile() {
  std::filesystem::path path;
  {
    MutexLock guard(&lock_);
    if (cancelled_ || spoolPath_.empty()) return false;
    path = spoolPath_;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  {
    MutexLock guard(&lock_);
    if (!cancelled_) {
      spoolFile_ = file;
      return true;
    }
  }
  // Stopped while the file was being created: Stop may have deleted the
  // path before it existed, so the worker deletes it.
  DiscardSpoolFile(file);
  return false;
}

bool SearchWorker::AppendToSpoolFile(const char* data, size_t size) {
  FILE* file = nullptr;
  {
    MutexLock guard(&lock_);
    if (cancelled_) return false;
    file = std::exchange(spoolFile_, nullptr);
  }
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  {
    MutexLock guard(&lock_);
    if (!cancelled_) {
      spoolFile_ = file;
      return written;
    }
  }
  DiscardSpoolFile(file);
  return false;
}

bool SearchWorker::FinishSpoolFile(bool readBack, std::string& page, size_t limit) {
  FILE* file = nullptr;
  bool stopped = false;
  {
    MutexLock guard(&lock_);
    file = std::exchange(spoolFile_, nullptr);
    stopped = cancelled_;
    if (spoolPath_.empty()) return false;
  }
  bool ok = file != nullptr && std::fclose(file) == 0;
  if (!stopped && readBack) connection_.Close();
  if (ok && !stopped && readBack) {
    ok = false;
    // The reading handle is the worker's own: Stop deletes the path, which
    // an open handle outlives, and the loop below looks at the flag.
    std::filesystem::path path;
    {
      MutexLock guard(&lock_);
      path = spoolPath_;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (in) {
      if (shared_->readBackFake) shared_->readBackFake(cancelled_);
      // Read straight into the page, a piece at a time so that Stop is seen;
      // the first piece is as large as the file, so that the page's memory
      // is taken (and zeroed) once, for its own size.
      constexpr size_t kPiece = 65536;
      size_t piece = kPiece;
      struct stat file{};
      if (fstat(fileno(in.get()), &file) == 0 && file.st_size >= 0) {
        piece = std::min(static_cast<size_t>(file.st_size), limit) + 1;
      }
      page.clear();
      bool tooLarge = false;
      while (!cancelled()) {
        const size_t had = page.size();
        page.resize(had + piece);
        const size_t n = std::fread(page.data() + had, 1, piece, in.get());
        page.resize(had + n);
        if (n == 0) break;
        if (page.size() > limit) {
          tooLarge = true;
          break;
        }
        piece = kPiece;
      }
      ok = !tooLarge && !cancelled() && !std::ferror(in.get());
    }
  }
  DiscardSpoolFile(nullptr);
  return ok && !stopped;
}

std::shared_ptr<SearchWorker> WorkerList::Find(int engineIndex) const {
  auto it = std::find_if(workers_.begin(), workers_.end(),
                         [&](const auto& w) { return w->engineIndex() == engineIndex; });
  return it == workers_.end() ? nullptr : *it;
}

}  // namespace trovelane
