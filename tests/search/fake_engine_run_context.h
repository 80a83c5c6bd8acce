// A stand-in for the worker of one engine's run, for tests of the
// result-page loop without a search run, its threads and its queue: it
// records every status text, hand-off and sighting and keeps the engine's
// report, answers the limit test from a count the test sets, and keeps the
// spool file in memory unless the test makes it fail. Worker-thread rules do
// not apply: the test is the worker, and validation checks run on it, one at
// a time, before the offer returns.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "search/engine_run_context.h"

namespace trovelane::test {

class FakeEngineRunContext : public EngineRunContext {
 public:
  struct HandedOver {
    std::string url;
    std::string title;
    int validated;
    int relevance;
    int position;
    size_t duplicateKey;
  };
  struct Sighted {
    size_t duplicateKey;
    int position;
  };

  FakeEngineRunContext() : duplicates_(settings_.search) {
    settings_.search.duplicateMode = kDuplicateUrl;
  }

  // What the test controls.
  NetworkSettings settings_;
  std::filesystem::path workFolder_ = "/nonexistent";
  SearchExpression expression_ = *ParseExpression("river");
  int validationMode_ = kValidationNone;
  bool cancelled_ = false;
  // The limit test answers true once this many results were handed over.
  std::optional<int> limit;
  bool spoolFails = false;

  // What the run did.
  std::vector<std::string> statuses;
  std::vector<HandedOver> handedOver;
  std::vector<Sighted> sightings;
  EngineReport report;

  int engineIndex() const override { return 0; }
  const NetworkSettings& settings() const override { return settings_; }
  const std::filesystem::path& workFolder() const override { return workFolder_; }
  SearchExpression& expression() override { return expression_; }
  CHttpURL& connection() override { return connection_; }
  CHttpURL& validationConnection() override { return validationConnection_; }
  PageMemory& pageMemory() override { return memory_; }
  ResultChecks& resultChecks() override { return checks_; }
  const SearchOptions& options() const override { return settings_.search; }
  int validationMode() const override { return validationMode_; }
  DuplicateFilter& duplicates() override { return duplicates_; }
  bool cancelled() const override { return cancelled_; }
  void SendStatus(const std::string& text) override { statuses.push_back(text); }
  bool LimitReached(int) override { return limit && static_cast<int>(handedOver.size()) >= *limit; }
  Admission AdmitResult(int count, const std::string& url, const std::string& title,
                        int& position, size_t& duplicateKey) override {
    if (cancelled_) return Admission::kStopped;
    if (LimitReached(count)) return Admission::kLimitReached;
    position = ++memory_.resultPosition;
    if (duplicates_.IsDuplicate(url, title, &duplicateKey)) {
      AddSighting(duplicateKey, position);
      return Admission::kDuplicate;
    }
    return Admission::kNew;
  }
  HandOffOutcome HandOff(const std::string& url, const std::string& title, int validated,
                         int relevance, std::atomic<int>& perEngineCount, std::string_view,
                         int position, size_t duplicateKey) override {
    if (cancelled_) return HandOffOutcome::kStopped;
    if (LimitReached(perEngineCount)) return HandOffOutcome::kLimitReached;
    ++perEngineCount;
    handedOver.push_back({url, title, validated, relevance, position, duplicateKey});
    return HandOffOutcome::kDelivered;
  }
  void AddSighting(size_t duplicateKey, int position) override {
    sightings.push_back({duplicateKey, position});
  }
  void UpdateReport(const std::function<void(EngineReport&)>& change) override { change(report); }
  void End(EngineEnding ending, const std::string& detail = {}) override {
    if (report.ending != EngineEnding::kNotRun) return;
    report.ending = ending;
    if (ending == EngineEnding::kError) report.detail = detail;
  }
  bool CreateSpoolFile() override {
    spool_.clear();
    return !spoolFails && !cancelled_;
  }
  bool AppendToSpoolFile(const char* data, size_t size) override {
    spool_.append(data, size);
    return !cancelled_;
  }
  bool FinishSpoolFile(bool readBack, std::string& page, size_t limit) override {
    if (spoolFails || cancelled_ || spool_.size() > limit) return false;
    if (readBack) page = spool_;
    return true;
  }

 private:
  CHttpURL connection_;
  CHttpURL validationConnection_;
  PageMemory memory_;
  ResultChecks checks_{nullptr, 1};
  DuplicateFilter duplicates_;
  std::string spool_;
};

}  // namespace trovelane::test
