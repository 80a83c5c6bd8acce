// Finding the program that opens web pages: $BROWSER first, then the desktop
// entry that `xdg-settings get default-web-browser` names, its Exec program
// and its Icon. Nothing found is a valid answer (an empty path).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trovelane {

// Where the search looks; FromEnvironment fills it from the process's own
// environment, tests fill it by hand.
struct BrowserLookup {
  std::string browserVariable;                       // $BROWSER: commands separated by ":"
  std::vector<std::filesystem::path> searchPath;     // $PATH
  std::vector<std::filesystem::path> dataFolders;    // $XDG_DATA_HOME, then $XDG_DATA_DIRS
  std::function<std::string()> defaultDesktopEntry;  // e.g. "firefox-esr.desktop"

  static BrowserLookup FromEnvironment();
};

struct BrowserInfo {
  std::string path;  // absolute path of the browser program; empty when none was found
  std::string icon;  // the desktop entry's Icon, when the path came from one
};

// Paths of 1024 bytes or more are not taken: the settings file cannot hold them.
BrowserInfo FindDefaultBrowser(const BrowserLookup& lookup);

// FindDefaultBrowser(BrowserLookup::FromEnvironment()).path
std::string DetectDefaultBrowser();

// The program of a command line: after a leading double quote, the text up to
// the next one; otherwise the text up to the first whitespace.
std::string CommandProgram(std::string_view commandLine);

}  // namespace trovelane
