// trovelane-cli request: the request each selected engine (or the one named)
// would receive for a search expression and a result page, exactly as the
// search builds it.
#include <iostream>
#include <memory>

#include "cli/program.h"
#include "cli/typed_expression.h"
#include "net/url.h"
#include "search/request_builder.h"

namespace trovelane::cli {
namespace {

struct RequestOptions {
  std::string engine;  // --engine NAME|INDEX: only this one, selected or not
  int page = 0;        // --page K: result page, 0 for the first request
  std::vector<std::string> words;
  std::vector<std::string> resolve;
};

// The address override that a direct connection to `url` would take.
const ResolveEntry* ResolveEntryFor(const std::string& url, const ProgramOptions& options) {
  Url parsed;
  if (!ParseUrl(url, &parsed).ok()) return nullptr;
  return FindResolveEntry(options.resolve, parsed.host, parsed.port);
}

void RunRequest(const GlobalOptions& global, const RequestOptions& options) {
  ProgramState state = OpenProgram(global);
  ApplyResolveOptions(options.resolve, state.settings.program);
  SearchExpression expression =
      ParseTypedExpression(JoinWords(options.words), state.settings.search.defaultOperator);
  RequireSendableTerms(expression);

  const auto& engines = state.catalogue.engines;
  std::vector<size_t> chosen;
  if (!options.engine.empty()) {
    chosen.push_back(FindEngine(state.catalogue, options.engine, state.home.PluginFolders()));
  } else {
    for (size_t i = 0; i < engines.size(); ++i) {
      if (engines[i].selected) chosen.push_back(i);
    }
  }
  if (chosen.empty()) Fail("No engine of the profile is selected.");

  bool allBuilt = true;
  for (size_t i : chosen) {
    const EngineDefinition& engine = engines[i];
    std::cout << "[" << i << "] " << engine.name << "\n";
    if (engine.isPlugin) {
      std::cout << "plug-in engine: the plug-in builds its own requests\n";
      continue;
    }
    EngineRequest request = BuildRequest(engine, expression, IterationValue(engine, options.page));
    if (!request.ok()) {
      std::cout << "refused: " << request.status.message() << "\n";
      allBuilt = false;
      continue;
    }
    std::cout << MethodName(engine.method) << " " << request.url << "\n";
    if (engine.method != GET) std::cout << "body: " << request.body << "\n";
    if (const ResolveEntry* entry = ResolveEntryFor(request.url, state.settings.program)) {
      std::cout << "connect: " << entry->address << " port " << entry->port << " (resolve "
                << FormatResolveEntry(*entry) << ")\n";
    }
    if (options.page > 0 &&
        (engine.iterationTechnique == AUTO_1 || engine.iterationTechnique == AUTO_2)) {
      std::cout << "note: " << IterationTechniqueLabel(engine.iterationTechnique)
                << " takes the values of later pages from the page before; none is known here\n";
    }
  }
  if (!allBuilt) throw CLI::RuntimeError(kExitFailure);
}

}  // namespace

void AddRequestCommands(CLI::App& app, GlobalOptions& global) {
  auto options = std::make_shared<RequestOptions>();
  CLI::App* request = app.add_subcommand(
      "request", "Show the request URL (and POST body) of each selected engine for an expression");
  request->add_option("--engine", options->engine, "Only this engine (name or index)");
  request->add_option("--page", options->page, "Result page, 0 for the first")
      ->check(CLI::Range(0, 1000000));
  AddResolveOption(request, options->resolve);
  request->add_option("EXPRESSION", options->words, "The search expression")->required();
  request->callback([&global, options] { RunRequest(global, *options); });
}

}  // namespace trovelane::cli
