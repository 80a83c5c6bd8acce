// trovelane-cli engines check [NAME...]: one request per engine for a test
// query, and what came back: HTTP status, bytes, results found, whether a
// next page was found, and a block. This is how a user learns that an
// engine's result page changed.
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/suspension_file.h"
#include "cli/program.h"
#include "cli/text_output.h"
#include "engines/profile.h"
#include "search/engine_check.h"

namespace trovelane::cli {
namespace {

// The verdict of one engine: "ok" when it listed results, else how it ended.
std::string Verdict(const EngineReport& r) {
  const bool ended = r.ending == EngineEnding::kDone || r.ending == EngineEnding::kLimit;
  if (ended && r.results > 0) return "ok";
  if (ended) return "no results";
  return EndingText(r);
}

std::string BlockText(const EngineReport& r) {
  return r.ending == EngineEnding::kBlocked ? BlockLabel(r.block, r.blockStatus) : "-";
}

}  // namespace

int RunEngineCheck(const GlobalOptions& global, const EngineCheckRequest& request) {
  ProgramState state = OpenProgram(global);
  if (!request.profile.empty()) {
    state.catalogue = EngineCatalogue{};
    if (!LoadProfile(request.profile, state.catalogue).ok()) {
      Fail("Cannot read the profile " + request.profile + ".", kExitFailure);
    }
  }
  if (request.format != "table" && request.format != "json") {
    Fail("--format takes table or json, not \"" + request.format + "\".", kExitUsage);
  }
  std::vector<size_t> indexes;
  if (request.names.empty()) {
    for (size_t i = 0; i < state.catalogue.engines.size(); ++i) indexes.push_back(i);
  } else {
    for (const std::string& name : request.names) {
      indexes.push_back(FindEngine(state.catalogue, name, state.home.PluginFolders()));
    }
  }
  if (indexes.empty()) Fail("The profile has no engine to check.", kExitFailure);

  EngineCheckOptions options;
  if (!request.query.empty()) options.query = request.query;
  options.suspensions = &state.suspensions;
  const std::string suspensionFile = state.SuspensionFile();
  options.suspensionsChanged = [&] {
    Status saved = SaveSuspensions(suspensionFile, state.suspensions, WallClock::now());
    if (!saved.ok()) std::cerr << saved.message() << "\n";
  };
  const std::vector<EngineReport> reports =
      CheckEngines(state.catalogue, indexes, state.settings, state.home.root(), options);

  bool allFound = true;
  if (request.format == "json") {
    for (const EngineReport& r : reports) {
      nlohmann::ordered_json line = {{"engine", r.engineName},
                                     {"httpStatus", r.httpStatus},
                                     {"bytes", r.bytes},
                                     {"results", r.results},
                                     {"nextPage", r.nextPage},
                                     {"blocked", r.ending == EngineEnding::kBlocked},
                                     {"ending", EndingKey(r.ending)},
                                     {"endingText", EndingText(r)}};
      if (r.ending == EngineEnding::kBlocked) line["block"] = BlockText(r);
      std::cout << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << "\n";
    }
  } else {
    std::vector<std::vector<std::string>> rows = {
        {"Engine", "HTTP", "Bytes", "Results", "Next page", "Block", "Verdict"}};
    for (const EngineReport& r : reports) {
      rows.push_back({r.engineName, r.httpStatus ? std::to_string(r.httpStatus) : "-",
                      std::to_string(r.bytes), std::to_string(r.results),
                      r.nextPage ? "yes" : "no", BlockText(r), Verdict(r)});
    }
    PrintTextTable(rows, std::cout);
  }
  for (const EngineReport& r : reports) allFound = allFound && r.results > 0;
  return allFound ? 0 : kExitFailure;
}

}  // namespace trovelane::cli
