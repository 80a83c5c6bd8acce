#include "platform/default_browser.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/ascii.h"
#include "platform/command_output.h"

namespace trovelane {
namespace {

constexpr size_t kMaxBrowserPath = 1023;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsExecutableFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// An absolute program path, or the first match in the search path.
std::string ResolveProgram(const std::string& program, const BrowserLookup& lookup) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) {
    return program.front() == '/' && IsExecutableFile(program) ? program : "";
  }
  for (const std::filesystem::path& folder : lookup.searchPath) {
    std::filesystem::path candidate = folder / program;
    if (candidate.is_absolute() && IsExecutableFile(candidate)) return candidate.string();
  }
  return {};
}

// Exec and Icon of the [Desktop Entry] group of a desktop file.
BrowserInfo ReadDesktopEntry(const std::filesystem::path& file, const BrowserLookup& lookup) {
  std::ifstream in(file);
  BrowserInfo info;
  std::string exec;
  bool inEntry = false;
  for (std::string line; std::getline(in, line);) {
    line = std::string(TrimBlanks(line));
    if (!line.empty() && line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
    } else if (inEntry && line.rfind("Exec=", 0) == 0) {
      exec = line.substr(5);
    } else if (inEntry && line.rfind("Icon=", 0) == 0) {
      info.icon = line.substr(5);
    }
  }
  info.path = ResolveProgram(CommandProgram(exec), lookup);
  if (info.path.empty()) info.icon.clear();
  return info;
}

BrowserInfo FromDesktopEntry(const BrowserLookup& lookup) {
  if (!lookup.defaultDesktopEntry) return {};
  std::string id(TrimBlanks(lookup.defaultDesktopEntry()));
  if (id.empty() || id.find('/') != std::string::npos || id.find("..") != std::string::npos) {
    return {};
  }
  for (const std::filesystem::path& folder : lookup.dataFolders) {
    std::filesystem::path file = folder / "applications" / id;
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) return ReadDesktopEntry(file, lookup);
  }
  return {};
}

}  // namespace

std::string CommandProgram(std::string_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == '"') {
    commandLine.remove_prefix(1);
    return std::string(commandLine.substr(0, commandLine.find('"')));
  }
  size_t end = commandLine.find_first_of(" \t\r\n\v\f");
  return std::string(commandLine.substr(0, end));
}

BrowserLookup BrowserLookup::FromEnvironment() {
  BrowserLookup lookup;
  lookup.browserVariable = Env("BROWSER");
  for (const std::string& folder : Split(Env("PATH"), ':')) lookup.searchPath.emplace_back(folder);
  std::string dataHome = Env("XDG_DATA_HOME");
  if (dataHome.empty() && !Env("HOME").empty()) dataHome = Env("HOME") + "/.local/share";
  if (!dataHome.empty()) lookup.dataFolders.emplace_back(dataHome);
  std::string dataDirs = Env("XDG_DATA_DIRS");
  if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
  for (const std::string& folder : Split(dataDirs, ':')) lookup.dataFolders.emplace_back(folder);
  lookup.defaultDesktopEntry = [] {
    return CommandOutput({"xdg-settings", "get", "default-web-browser"}, 5000).value_or("");
  };
  return lookup;
}

BrowserInfo FindDefaultBrowser(const BrowserLookup& lookup) {
  BrowserInfo found;
  for (const std::string& command : Split(lookup.browserVariable, ':')) {
    found.path = ResolveProgram(CommandProgram(command), lookup);
    if (!found.path.empty()) break;
  }
  if (found.path.empty()) found = FromDesktopEntry(lookup);
  if (found.path.size() > kMaxBrowserPath) return {};
  return found;
}

std::string DetectDefaultBrowser() {
  return FindDefaultBrowser(BrowserLookup::FromEnvironment()).path;
}

}  // namespace trovelane
