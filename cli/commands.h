// Sub-commands of trovelane-cli. Each Add*Commands function registers its
// sub-commands on the application; a command reports failure by throwing
// CLI::RuntimeError with the exit code.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace trovelane::cli {

// Exit codes: a command failed (a file, a save); the command line was wrong
// (an invalid expression, an unknown key or value).
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Options shared by every sub-command, filled before any callback runs.
struct GlobalOptions {
  std::string home;  // --home DIR: the install folder
};

// parse and match: the search expression without engines.
void AddExpressionCommands(CLI::App& app, GlobalOptions& global);
// open, export and convert: saved results documents (document_commands.cpp).
void AddDocumentCommands(CLI::App& app, GlobalOptions& global);

// engines (import, export), profiles (use), request, settings (set): the
// engine catalogue, the profile list, request previews and qmknet.dat.
void AddEngineCommands(CLI::App& app, GlobalOptions& global);
void AddProfileCommands(CLI::App& app, GlobalOptions& global);
void AddRequestCommands(CLI::App& app, GlobalOptions& global);
void AddSettingsCommands(CLI::App& app, GlobalOptions& global);

// trovelane-cli fetch URL: one page through the HTTP client (fetch_command.cpp).
void AddFetchCommands(CLI::App& app, GlobalOptions& global);

// trovelane-cli engines check [NAME...] (engine_check_command.cpp): the
// engines to check (all of the profile when empty), by name or index.
struct EngineCheckRequest {
  std::string profile;
  std::vector<std::string> names;
  std::string query;  // empty: the fixed test query
  std::string format = "table";
};
// Returns the exit code: 0 when every checked engine listed results.
int RunEngineCheck(const GlobalOptions& global, const EngineCheckRequest& request);

// trovelane-cli search EXPRESSION: a meta-search over the profile (search_command.cpp).
void AddSearchCommands(CLI::App& app, GlobalOptions& global);

// trovelane-cli watch FILE.qmk: a saved search again, and what changed (watch_command.cpp).
void AddWatchCommands(CLI::App& app, GlobalOptions& global);

}  // namespace trovelane::cli
