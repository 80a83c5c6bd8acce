#include "cli/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "engines/plugin_name.h"

namespace trovelane::cli {

void Fail(const std::string& message, int exitCode) {
  std::cerr << message << "\n";
  throw CLI::RuntimeError(exitCode);
}

int FinishStandardOutput(int code) {
  errno = 0;
  const bool flushed = static_cast<bool>(std::cout.flush()) && std::fflush(stdout) == 0;
  const int err = errno;
  if (code != 0 || (flushed && !std::ferror(stdout))) return code;
  std::cerr << "Cannot write to standard output"
            << (err != 0 ? std::string(": ") + std::strerror(err) : std::string()) << ".\n";
  return kExitFailure;
}

ProgramState OpenProgram(const GlobalOptions& global) {
  ProgramState state;
  if (Status started = StartUp({global.home, nullptr}, state); !started.ok()) {
    Fail(started.message());
  }
  for (const std::string& warning : state.warnings) std::cerr << warning << "\n";
  return state;
}

size_t FindEngine(const EngineCatalogue& catalogue, const std::string& nameOrIndex,
                  const std::vector<std::filesystem::path>& pluginFolders) {
  const auto& engines = catalogue.engines;
  if (!nameOrIndex.empty() && nameOrIndex.find_first_not_of("0123456789") == std::string::npos &&
      nameOrIndex.size() < 10) {
    size_t index = std::stoul(nameOrIndex);
    if (index < engines.size()) return index;
  }
  size_t found = engines.size();
  for (size_t i = 0; i < engines.size(); ++i) {
    if (engines[i].name != nameOrIndex) continue;
    if (found != engines.size()) {
      Fail("Several engines are named \"" + nameOrIndex + "\"; give its index instead.");
    }
    found = i;
  }
  // A plug-in is known by the name its library gives itself; each library
  // is asked only when no engine has the name itself.
  for (size_t i = 0; found == engines.size() && i < engines.size(); ++i) {
    if (!engines[i].isPlugin || pluginFolders.empty()) continue;
    if (PluginDisplayName(engines[i], pluginFolders) != nameOrIndex) continue;
    for (size_t j = i + 1; j < engines.size(); ++j) {
      if (engines[j].isPlugin && PluginDisplayName(engines[j], pluginFolders) == nameOrIndex) {
        Fail("Several engines are named \"" + nameOrIndex + "\"; give its index instead.");
      }
    }
    found = i;
  }
  if (found == engines.size()) Fail("No engine is named or numbered \"" + nameOrIndex + "\".");
  return found;
}

void AddResolveOption(CLI::App* command, std::vector<std::string>& entries) {
  command
      ->add_option("--resolve", entries,
                   "Connect to ADDR for HOST:PORT, as curl does (repeatable; Host, TLS name and "
                   "certificate check still use HOST; through a proxy, the proxy resolves)")
      ->type_name("HOST:PORT:ADDR")
      ->allow_extra_args(false);
}

void ApplyResolveOptions(const std::vector<std::string>& entries, ProgramOptions& options) {
  std::vector<ResolveEntry> parsed;
  for (const std::string& text : entries) {
    ResolveEntry entry;
    if (Status read = ParseResolveEntry(text, &entry); !read.ok()) {
      Fail("--resolve: " + read.message() + ".", kExitUsage);
    }
    parsed.push_back(entry);
  }
  options.resolve.insert(options.resolve.begin(), parsed.begin(), parsed.end());
}

const char* MethodName(int method) { return method == GET ? "GET" : "POST"; }

}  // namespace trovelane::cli
