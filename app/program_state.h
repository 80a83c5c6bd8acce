// What the program holds for its whole run, and the start-up that fills it:
// the install folder, the option records, the current profile path and the
// engine catalogue loaded from that profile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engines/profile.h"
#include "search/engine_suspension.h"
#include "search/settings.h"
#include "platform/install_folder.h"

namespace trovelane {

struct ProgramState {
  InstallFolder home;
  NetworkSettings settings;
  std::string currentProfilePath;  // as "qmkprfl.dat" holds it, maybe relative
  EngineCatalogue catalogue;
  std::vector<std::string> warnings;  // problems that did not stop the start
  // Engines left out of searches after a block, read from "suspensions.json".
  EngineSuspensions suspensions;

  std::string SettingsFile() const;
  std::string ProgramOptionsFile() const;
  std::string ProfileListFile() const;
  std::string SuspensionFile() const;
  // The current profile's file, resolved against the install folder; empty
  // when there is no current profile.
  std::string CurrentProfileFile() const;
};

// Takes an engine of the current profile that searches the user's SearXNG
// instance (its search URL holds kSearxngPlaceholder) into searches, as
// giving the instance's address does: when none of them is selected, the
// first of them (the web profile's HTML form, which every instance answers;
// the JSON form only answers where the instance enables it), and saves the
// profile. `selected` (may be null) gets the name of the engine newly
// selected. When the profile cannot be saved, the engines stay as they were
// and the status says why.
Status SelectInstanceEngines(ProgramState& state, std::vector<std::string>* selected);

struct StartUpOptions {
  std::string home;                            // --home DIR; empty for the default install folder
  std::function<std::string()> detectBrowser;  // default: DetectDefaultBrowser
};

// Prepares (and on first start seeds) the install folder, loads "qmknet.dat",
// reads the current profile path from "qmkprfl.dat", loads that profile and
// derives readChunkSize. Not OK only when the install folder cannot be used
// (the status of PrepareInstallFolder); every other problem becomes one of
// state.warnings and the start goes on.
Status StartUp(const StartUpOptions& options, ProgramState& state);

}  // namespace trovelane
