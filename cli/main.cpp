// trovelane-cli: the command-line front end over the trovelane core.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/program.h"
#include "platform/version.h"

namespace {

constexpr const char* kVersionText = "t r o v e l a n e version " TROVELANE_VERSION;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"trovelane-cli: one search expression, every engine of the profile at once."};
  app.set_version_flag("--version", kVersionText);
  app.require_subcommand(0, 1);

  trovelane::cli::GlobalOptions global;
  app.add_option("--home", global.home, "Install folder (default: $XDG_DATA_HOME/trovelane)");
  trovelane::cli::AddExpressionCommands(app, global);
  trovelane::cli::AddDocumentCommands(app, global);
  trovelane::cli::AddEngineCommands(app, global);
  trovelane::cli::AddProfileCommands(app, global);
  trovelane::cli::AddRequestCommands(app, global);
  trovelane::cli::AddSettingsCommands(app, global);
  trovelane::cli::AddFetchCommands(app, global);
  trovelane::cli::AddSearchCommands(app, global);
  trovelane::cli::AddWatchCommands(app, global);

  int code = 0;
  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) std::cout << app.help();
  } catch (const CLI::ParseError& e) {
    code = app.exit(e);
    // The parser's own failures (an unknown option, a value it cannot
    // convert or that fails its check, a missing argument) are all usage
    // errors; only the commands choose other codes.
    if (code != 0 && e.get_name() != "RuntimeError") code = trovelane::cli::kExitUsage;
  }
  return trovelane::cli::FinishStandardOutput(code);
}
