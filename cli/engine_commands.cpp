// trovelane-cli engines: list the engines of a profile, import an engine from
// a ".eng" file into it, export one to a ".eng" file, and register a site
// plug-in.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "cli/program.h"
#include "cli/text_output.h"
#include "engines/engine_file.h"
#include "engines/plugin_name.h"
#include "engines/profile.h"
#include "platform/shared_library.h"
#include "search/engine_check.h"

namespace trovelane::cli {
namespace {

// Message texts of the engine import and export.
constexpr const char* kOpenForReadingError = "Error opening the file for reading";
constexpr const char* kOpenForWritingError = "Error opening the file for writing";

struct EngineOptions {
  std::string profile;  // --profile PATH: instead of the current profile
  std::string importFile;
  std::string exportEngine;
  std::string exportFile;
  std::string plugin;  // add-plugin: a library file name, or a path to copy in
};

// The profile file to work on and its catalogue.
struct OpenProfile {
  ProgramState state;
  std::string path;
};

OpenProfile Open(const GlobalOptions& global, const EngineOptions& options) {
  OpenProfile open{OpenProgram(global), {}};
  if (options.profile.empty()) {
    open.path = open.state.CurrentProfileFile();
    return open;
  }
  open.path = std::filesystem::absolute(options.profile).string();
  if (!LoadProfile(open.path, open.state.catalogue).ok()) {
    Fail(options.profile + ": " + kOpenForReadingError);
  }
  return open;
}

void RunList(const GlobalOptions& global, const EngineOptions& options) {
  OpenProfile open = Open(global, options);
  const auto& engines = open.state.catalogue.engines;
  if (engines.empty()) {
    std::cout << "No engines in " << (open.path.empty() ? "(no current profile)" : open.path)
              << "\n";
    return;
  }
  std::vector<std::vector<std::string>> rows = {
      {"#", "Sel", "Name", "Method", "Technique", "Search URL"}};
  std::vector<std::filesystem::path> pluginFolders = open.state.home.PluginFolders();
  for (size_t i = 0; i < engines.size(); ++i) {
    const EngineDefinition& e = engines[i];
    rows.push_back({std::to_string(i), e.selected ? "yes" : "no",
                    OneLine(EngineDisplayName(e, pluginFolders)), MethodName(e.method),
                    IterationTechniqueLabel(e.iterationTechnique), OneLine(e.searchUrl)});
  }
  PrintTextTable(rows, std::cout);
}

void RunImport(const GlobalOptions& global, const EngineOptions& options) {
  std::ifstream in(options.importFile, std::ios::binary);
  if (!in) Fail(options.importFile + ": " + kOpenForReadingError);
  EngineDefinition engine;
  if (!ReadEngineDefinition(engine, in)) {
    Fail(options.importFile + " holds no complete engine definition; nothing was imported.");
  }
  if (Status identity = CheckEngineIdentity(engine); !identity.ok()) {
    Fail(options.importFile + ": " + identity.message() + "; nothing was imported.");
  }
  if (Status paging = CheckPaging(engine); !paging.ok()) {
    Fail(options.importFile + ": " + paging.message() + " Nothing was imported.");
  }
  OpenProfile open = Open(global, options);
  if (open.path.empty()) {
    Fail("There is no current profile to import into; choose one with \"profiles use\".");
  }
  open.state.catalogue.engines.push_back(engine);
  Status saved = SaveProfile(open.path, open.state.catalogue);
  if (!saved.ok()) Fail(saved.message());
  std::cout << "Imported \"" << engine.name << "\" as engine "
            << open.state.catalogue.engines.size() - 1 << " of " << open.path << "\n";
}

void RunExport(const GlobalOptions& global, const EngineOptions& options) {
  OpenProfile open = Open(global, options);
  const EngineDefinition& engine =
      open.state.catalogue.engines[FindEngine(open.state.catalogue, options.exportEngine,
                                     open.state.home.PluginFolders())];
  std::ostringstream text;
  if (Status written = WriteEngineDefinition(engine, text); !written.ok()) Fail(written.message());
  Status saved = WriteOutputFile(options.exportFile, text.str());
  if (!saved.ok()) Fail(std::string(kOpenForWritingError) + "\n" + saved.message());
  std::cout << "Exported \"" << engine.name << "\" to " << options.exportFile << "\n";
}

// Ends the command with the loader's reason when `path` is no shared
// library this system can load.
void RequireLoadableLibrary(const std::string& path) {
  SharedLibrary library;
  if (Status loaded = library.Open(path); !loaded.ok()) Fail(loaded.message());
}

// "Add a Plugin": a path (anything with "/") is copied into the install
// folder's "plugins" first; a plain file name must already lie in a plug-in
// folder. The engine is appended to the profile either way; one whose
// library cannot be named is listed as "Bad Plugin" and can be fixed by
// putting the library in place later.
void RunAddPlugin(const GlobalOptions& global, const EngineOptions& options) {
  OpenProfile open = Open(global, options);
  if (open.path.empty()) {
    Fail("There is no current profile to add to; choose one with \"profiles use\".");
  }
  std::string name = options.plugin;
  const bool copied = name.find('/') != std::string::npos;  // checked before the copy
  if (copied) {
    const std::filesystem::path source(options.plugin);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec)) Fail(options.plugin + ": no such library");
    RequireLoadableLibrary(std::filesystem::absolute(source, ec).string());
    name = source.filename().string();
    const std::filesystem::path folder = open.state.home.root() / "plugins";
    const std::filesystem::path target = folder / name;
    const std::filesystem::path partial = folder / (name + ".partial");
    std::filesystem::create_directories(folder, ec);
    if (!ec) std::filesystem::copy_file(source, partial,
                                        std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec) std::filesystem::rename(partial, target, ec);
    if (ec) {
      std::filesystem::remove(partial, ec);
      Fail("cannot copy " + options.plugin + " into " + folder.string());
    }
  }
  if (name.empty() || name.find('\\') != std::string::npos || name == "." || name == "..") {
    Fail(options.plugin + ": not a library file name");
  }
  EngineDefinition engine;
  engine.isPlugin = true;
  engine.searchUrl = "plugin";
  engine.name = name;
  // A library already in a plug-in folder must load too; one not there yet
  // is added, to be put in place later.
  if (std::optional<std::filesystem::path> found =
          FindPluginLibrary(name, open.state.home.PluginFolders());
      found && !copied) {
    std::error_code ec;
    RequireLoadableLibrary(std::filesystem::absolute(*found, ec).string());
  }
  open.state.catalogue.engines.push_back(engine);
  Status saved = SaveProfile(open.path, open.state.catalogue);
  if (!saved.ok()) Fail(saved.message());
  std::cout << "Added plug-in \"" << EngineDisplayName(engine, open.state.home.PluginFolders())
            << "\" (" << name << ") as engine " << open.state.catalogue.engines.size() - 1
            << " of " << open.path << "\n";
}

}  // namespace

void AddEngineCommands(CLI::App& app, GlobalOptions& global) {
  auto options = std::make_shared<EngineOptions>();
  CLI::App* engines =
      app.add_subcommand("engines",
                         "List the engines of the current profile: index, selected, name, method, "
                         "technique, search URL");
  engines->add_option("--profile", options->profile, "Work on this profile file instead");
  engines->require_subcommand(0, 1);

  CLI::App* import = engines->add_subcommand(
      "import", "Append the engine of a .eng file to the profile and save the profile");
  import->add_option("FILE", options->importFile, "The .eng file")->required();
  import->callback([&global, options] { RunImport(global, *options);
});

CLI::App* exportCommand =
    engines->add_subcommand("export", "Write one engine of the profile to a .eng file");
exportCommand->add_option("ENGINE", options->exportEngine, "Engine name or index")->required();
exportCommand->add_option("FILE", options->exportFile, "The .eng file to write")->required();
exportCommand->callback([&global, options] { RunExport(global, *options); });

CLI::App* addPlugin = engines->add_subcommand(
    "add-plugin",
    "Append a site plug-in engine; a path is first copied into the install folder's plugins");
addPlugin->add_option("LIBRARY", options->plugin, "Library file name (plgpages.so) or path")
    ->required();
addPlugin->callback([&global, options] { RunAddPlugin(global, *options); });

auto check = std::make_shared<EngineCheckRequest>();
CLI::App* checkCommand = engines->add_subcommand(
    "check",
    "Send each engine one request for a test query and report the HTTP status, bytes, results "
    "found, next page found and any block; exit 0 only when every engine listed results");
checkCommand->add_option("ENGINE", check->names, "Engine names or indexes (default: all)");
checkCommand->add_option("--query", check->query,
                         std::string("The test query (default: ") + kEngineCheckQuery + ")");
checkCommand->add_option("--format", check->format, "table or json")->capture_default_str();
checkCommand->callback([&global, options, check] {
  check->profile = options->profile;
  int code = RunEngineCheck(global, *check);
  if (code != 0) throw CLI::RuntimeError(code);
});

engines->callback([&global, options, engines] {
  if (engines->get_subcommands().empty()) RunList(global, *options);
});
}  // namespace trovelane::cli

}  // namespace trovelane::cli
