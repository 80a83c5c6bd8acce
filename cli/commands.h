// Sub-commands of trovelane-cli. Each Add*Commands function registers its
// sub-commands on the application; a command reports failure by throwing
// CLI::RuntimeError with the exit code.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace trovelane::cli {

// Options shared by every sub-command, filled before any callback runs.
struct GlobalOptions {
  std::string home;  // --home DIR: the install folder
};

// parse and match: the search expression without engines.
void AddExpressionCommands(CLI::App& app, GlobalOptions& global);

}  // namespace trovelane::cli
