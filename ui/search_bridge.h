// SearchBridge: the one seam between the search run and the desktop
// program's event loop. It owns the window's SearchRun and gives it a wake
// callback that posts a drain of the run's queue to the event loop, so the
// workers' synchronous sends (status texts, results, their ends) are served
// between the window's other events. The user-interface thread never blocks
// on a worker and never takes the result lock: it only drains the queue.
//
// The run's events go straight to the window's own SearchEvents; they run on
// the user-interface thread, from StartSearch, StopSearch or a drain.
//
// Threads: constructed, used and destroyed on the user-interface thread. The
// wake callback alone runs on worker threads; once the bridge is destroyed it
// posts nothing (a worker that Stop left to finish on its own may still call
// it).
#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <memory>

#include "engines/profile.h"
#include "platform/mutex.h"
#include "search/settings.h"
#include "search/search_run.h"

namespace trovelane::ui {

class SearchBridge : public QObject {
  Q_OBJECT

 public:
  // `settings` and `catalogue` outlive the bridge (SearchRun reads them at
  // each start); `window` receives the run's events and outlives the bridge.
  SearchBridge(const NetworkSettings& settings, const EngineCatalogue& catalogue,
               std::filesystem::path workFolder, SearchEvents& window, QObject* parent = nullptr);
  // Stops a running search.
  ~SearchBridge() override;

  SearchRun& run() { return *run_; }
  // Drains posted since the bridge was made (for tests and benchmarks).
  int drains() const { return drains_; }

 private:
  // What the wake callback reaches; cleared when the bridge goes away.
  struct WakeTarget {
    Mutex mutex;
    SearchBridge* bridge GUARDED_BY(mutex) = nullptr;
    std::atomic<bool> drainPosted{false};
  };

  // Worker thread: posts one drain unless one is already waiting.
  static void Wake(const std::shared_ptr<WakeTarget>& target);
  // User-interface thread: runs the queued sends.
  void Drain();

  const std::shared_ptr<WakeTarget> wake_;
  std::unique_ptr<SearchRun> run_;
  int drains_ = 0;
};

}  // namespace trovelane::ui
