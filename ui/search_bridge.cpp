#include "ui/search_bridge.h"

namespace trovelane::ui {

SearchBridge::SearchBridge(const NetworkSettings& settings, const EngineCatalogue& catalogue,
                           std::filesystem::path workFolder, SearchEvents& window, QObject* parent)
    : QObject(parent), window_(window), wake_(std::make_shared<WakeTarget>()) {
  wake_->bridge = this;
  std::shared_ptr<WakeTarget> target = wake_;
  run_ = std::make_unique<SearchRun>(settings, catalogue, std::move(workFolder), *this,
                                     [target] { Wake(target); });
}

SearchBridge::~SearchBridge() {
  {
    std::lock_guard lock(wake_->mutex);
    wake_->bridge = nullptr;
  }
  run_.reset();
}

// Worker thread.
void SearchBridge::Wake(const std::shared_ptr<WakeTarget>& target) {
  // One drain serves every send queued before it runs; more would only
  // crowd the event queue.
  if (target->drainPosted.exchange(true)) return;
  std::lock_guard lock(target->mutex);
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

// User-interface thread (StartSearch).
bool SearchBridge::OnNewDocument() { return window_.OnNewDocument(); }
// User-interface thread (StartSearch).
void SearchBridge::OnSearchHistory(const std::string& text) { window_.OnSearchHistory(text); }
// User-interface thread (StartSearch).
void SearchBridge::OnDocumentTitle(const std::string& title) { window_.OnDocumentTitle(title); }
// User-interface thread, from a drain, while the worker waits under the result lock.
void SearchBridge::OnResult(const ResultHandoff& result) { window_.OnResult(result); }
// User-interface thread, from a drain or from StartSearch/StopSearch.
void SearchBridge::OnStatusPane(const std::string& text) { window_.OnStatusPane(text); }
// User-interface thread, from a drain or from StopSearch.
void SearchBridge::OnEngineRow(int engineIndex, const std::string& text) {
  window_.OnEngineRow(engineIndex, text);
}
// User-interface thread, from StartSearch, a drain (the last worker ended) or StopSearch.
void SearchBridge::OnSearchingChanged(bool searching) { window_.OnSearchingChanged(searching); }

void SearchBridge::OnSuspensionsChanged() { window_.OnSuspensionsChanged(); }

}  // namespace trovelane::ui
