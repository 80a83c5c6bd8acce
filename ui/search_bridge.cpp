#include "ui/search_bridge.h"

namespace trovelane::ui {

SearchBridge::SearchBridge(const NetworkSettings& settings, const EngineCatalogue& catalogue,
                           std::filesystem::path workFolder, SearchEvents& window, QObject* parent)
    : QObject(parent), wake_(std::make_shared<WakeTarget>()) {
  {
    MutexLock lock(&wake_->mutex);
    wake_->bridge = this;
  }
  std::shared_ptr<WakeTarget> target = wake_;
  run_ = std::make_unique<SearchRun>(settings, catalogue, std::move(workFolder), window,
                                     [target] { Wake(target); });
}

SearchBridge::~SearchBridge() {
  {
    MutexLock lock(&wake_->mutex);
    wake_->bridge = nullptr;
  }
  run_.reset();
}

// Worker thread.
void SearchBridge::Wake(const std::shared_ptr<WakeTarget>& target) {
  // One drain serves every send queued before it runs; more would only
  // crowd the event queue.
  if (target->drainPosted.exchange(true)) return;
  MutexLock lock(&target->mutex);
  if (!target->bridge) return;
  QMetaObject::invokeMethod(target->bridge, &SearchBridge::Drain, Qt::QueuedConnection);
}

// User-interface thread.
void SearchBridge::Drain() {
  ++drains_;
  // Cleared first: a send queued while this drain runs posts the next one.
  wake_->drainPosted.store(false);
  run_->queue().Drain();
}

}  // namespace trovelane::ui
