#include "search/search_worker.h"

#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "search/engine_loop.h"
#include "search/search_run.h"

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
      settings(settings),
      workFolder(std::move(workFolder)),
      engine(engine),
      expression(expression) {
  connection.SetTimeouts(settings.program);
  validationConnection.SetTimeouts(settings.program);
}

void SearchWorker::StartThread(const std::shared_ptr<SearchWorker>& worker) {
  // The thread keeps its worker alive: Stop may give up waiting for it.
  worker->thread_ = std::thread([worker] { worker->SearchWorkerMain(); });
}

void SearchWorker::SearchWorkerMain() {
  {
    std::lock_guard guard(lock_);
    dumpPath_ = SpoolFilePath(workFolder, static_cast<long>(gettid()));
  }
  // Plug-in engines are run by the plug-in host; until it exists such a
  // worker only reports its end.
  if (!engine.isPlugin && !cancelled()) RunEngineLoop(*this, engine);
  if (connection.IsConnected()) connection.Close();
  validationConnection.Close();

  SearchRun* run = run_;
  const int index = engineIndex_;
  RunTask([run, index] { run->OnWorkerDone(index); });

  std::lock_guard guard(shared_->endMutex);
  finished_ = true;
  shared_->ended.notify_all();
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
  statusText = text.substr(0, 1023);
  SearchRun* run = run_;
  const int index = engineIndex_;
  const std::string& sent = statusText;
  RunTask([run, index, &sent] { run->OnSearchStatus(index, sent); });
}

bool SearchWorker::LimitReached(int perEngineCount) {
  const int limit = shared_->options.maxResults;
  return shared_->options.perEngine ? perEngineCount >= limit
                                    : shared_->resultTotal.load() >= limit;
}

bool SearchWorker::HandOff(const std::string& url, const std::string& title, int& perEngineCount) {
  if (url.size() >= ResultHandoff::kUrlSize) return false;
  ResultHandoff handoff;
  handoff.url = url;
  handoff.title = title.substr(0, ResultHandoff::kTitleSize - 1);
  handoff.engineName = engine.name.substr(0, ResultHandoff::kEngineNameSize - 1);
  handoff.engineIndex = engineIndex_;
  handoff.validated = validated;
  handoff.relevance = shared_->validationMode == kValidationValRel ? relevance : -1;

  std::lock_guard guard(shared_->resultLock);
  if (cancelled()) return false;
  ++perEngineCount;
  shared_->resultTotal.fetch_add(1);
  bool delivered = false;
  SearchRun* run = run_;
  RunTask([run, &handoff, &delivered] {
    run->OnResult(handoff);
    delivered = true;
  });
  if (!delivered) {
    // Stopped while waiting: nothing was handed over, so nothing is counted.
    --perEngineCount;
    shared_->resultTotal.fetch_sub(1);
  }
  return delivered;
}

void SearchWorker::Cancel() {
  std::lock_guard guard(lock_);
  cancelled_ = true;
  connection.Cancel();
  validationConnection.Cancel();
  if (dumpFile_) {
    std::fclose(dumpFile_);
    dumpFile_ = nullptr;
  }
  if (!dumpPath_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(dumpPath_, ignored);
  }
}

bool SearchWorker::JoinUntil(std::chrono::steady_clock::time_point deadline) {
  if (!thread_.joinable()) return true;
  {
    std::unique_lock wait(shared_->endMutex);
    shared_->ended.wait_until(wait, deadline, [this] { return finished_.load(); });
  }
  if (finished_) {
    thread_.join();
    return true;
  }
  thread_.detach();
  return false;
}

bool SearchWorker::CreateSpoolFile() {
  std::lock_guard guard(lock_);
  if (cancelled_ || dumpPath_.empty()) return false;
  dumpFile_ = std::fopen(dumpPath_.c_str(), "wb");
  return dumpFile_ != nullptr;
}

bool SearchWorker::AppendToSpoolFile(const char* data, size_t size) {
  // Each chunk is written under the lock: Stop closes the file under it.
  std::lock_guard guard(lock_);
  if (cancelled_ || !dumpFile_) return false;
  return std::fwrite(data, 1, size, dumpFile_) == size;
}

bool SearchWorker::ReadBackSpoolFile(std::string& page) {
  std::lock_guard guard(lock_);
  if (dumpFile_) {
    std::fclose(dumpFile_);
    dumpFile_ = nullptr;
  }
  if (cancelled_) return false;
  connection.Close();
  bool ok = false;
  if (FILE* in = std::fopen(dumpPath_.c_str(), "rb")) {
    page.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) page.append(buffer, n);
    ok = !std::ferror(in);
    std::fclose(in);
  }
  std::error_code ignored;
  std::filesystem::remove(dumpPath_, ignored);
  return ok;
}

std::shared_ptr<SearchWorker> WorkerList::Find(int engineIndex) const {
  auto it = std::find_if(workers_.begin(), workers_.end(),
                         [&](const auto& w) { return w->engineIndex() == engineIndex; });
  return it == workers_.end() ? nullptr : *it;
}

}  // namespace trovelane
