#include "search/engine_check.h"

#include "search/search_run.h"

namespace trovelane {
namespace {

// The check shows nothing while it runs; it only passes blocks on.
class CheckEvents : public SearchEvents {
 public:
  explicit CheckEvents(const std::function<void()>& changed) : changed_(changed) {}
  void OnResult(const ResultHandoff&) override {}
  void OnSuspensionsChanged() override {
    if (changed_) changed_();
  }

 private:
  const std::function<void()>& changed_;
};

}  // namespace

std::vector<EngineReport> CheckEngines(const EngineCatalogue& catalogue,
                                       const std::vector<size_t>& indexes,
                                       const NetworkSettings& settings,
                                       const std::filesystem::path& workFolder,
                                       const EngineCheckOptions& options) {
  EngineCatalogue checked = catalogue;
  for (EngineDefinition& engine : checked.engines) engine.selected = 0;
  for (size_t index : indexes) {
    if (index < checked.engines.size()) checked.engines[index].selected = 1;
  }
  NetworkSettings own = settings;
  own.search.maxResults = 1 << 20;
  own.search.perEngine = 1;
  own.search.validationMode = kValidationNone;
  own.search.duplicateMode = kDuplicateNone;
  own.search.defaultOperator = 0;
  own.program.maxPagesPerEngine = 1;

  CheckEvents events(options.suspensionsChanged);
  SearchRun run(own, checked, workFolder, events);
  run.SetSuspensions(options.suspensions, /*ignore=*/true);
  std::vector<EngineReport> reports;
  if (run.StartSearch(options.query) == StartOutcome::kStarted) {
    if (!run.ServeUntilDone(options.limit)) run.StopSearch();
  }
  for (size_t index : indexes) {
    if (index < run.engineReports().size()) {
      reports.push_back(run.engineReports()[index]);
    } else {
      EngineReport none;
      if (index < catalogue.engines.size()) none.engineName = catalogue.engines[index].name;
      reports.push_back(none);
    }
  }
  return reports;
}

}  // namespace trovelane
