// Checking engines: one search of a fixed test query over some engines of a
// catalogue, reading only the first result page of each, so that a user
// learns which engines still answer with results and which changed their
// pages or block the client. Each engine gets its own EngineReport: the HTTP
// status, bytes, results found, whether a next page was found, and a block.
//
// Threads: CheckEngines runs a SearchRun on the calling thread (its owner)
// and returns when every checked engine has ended.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engines/profile.h"
#include "search/engine_report.h"
#include "search/engine_suspension.h"
#include "search/settings.h"

namespace trovelane {

// The query every engine is checked with: a plain word that any general
// engine has results for.
inline constexpr const char* kEngineCheckQuery = "river";

struct EngineCheckOptions {
  std::string query = kEngineCheckQuery;
  // Blocks met are recorded here (the check itself searches suspended
  // engines too); may be null. `suspensionsChanged` is then called on the
  // calling thread.
  EngineSuspensions* suspensions = nullptr;
  std::function<void()> suspensionsChanged;
  // The longest the whole check may take; then the engines still running
  // are stopped and end "stopped".
  std::chrono::milliseconds limit = std::chrono::minutes(2);
};

// Checks the engines `indexes` of `catalogue` (whatever their `selected`
// flag), with `settings` for the proxy and time-outs. The search keeps
// every result link (no duplicate filter, no validation, no result limit)
// and reads one page per engine. Returns one report per index, in the
// order given; an engine index out of range gets a kNotRun report.
std::vector<EngineReport> CheckEngines(const EngineCatalogue& catalogue,
                                       const std::vector<size_t>& indexes,
                                       const NetworkSettings& settings,
                                       const std::filesystem::path& workFolder,
                                       const EngineCheckOptions& options = {});

}  // namespace trovelane
