#include "app/program_state.h"

#include "engines/profile.h"
#include "engines/profile_list.h"
#include "app/program_options_file.h"
#include "app/settings_file.h"
#include "app/suspension_file.h"
#include "platform/default_browser.h"
#include "search/request_builder.h"

namespace trovelane {

std::string ProgramState::SettingsFile() const { return home.Resolve(kSettingsFileName); }

std::string ProgramState::ProgramOptionsFile() const {
  return home.Resolve(kProgramOptionsFileName);
}

std::string ProgramState::ProfileListFile() const { return home.Resolve(kProfileListFileName); }

std::string ProgramState::SuspensionFile() const { return home.Resolve(kSuspensionFileName); }

std::string ProgramState::CurrentProfileFile() const {
  return currentProfilePath.empty() ? "" : home.Resolve(currentProfilePath);
}

Status SelectInstanceEngines(ProgramState& state, std::vector<std::string>* selected) {
  std::vector<size_t> taken;
  std::vector<EngineDefinition>& engines = state.catalogue.engines;
  for (size_t i = 0; i < engines.size(); ++i) {
    if (engines[i].searchUrl.find(kSearxngPlaceholder) == std::string::npos) continue;
    // The user already searches the instance in the form of their choice.
    if (engines[i].selected) return Status::Ok();
    if (taken.empty()) taken.push_back(i);
  }
  if (taken.empty()) return Status::Ok();
  for (size_t i : taken) engines[i].selected = 1;
  if (Status saved = SaveProfile(state.CurrentProfileFile(), state.catalogue); !saved.ok()) {
    for (size_t i : taken) engines[i].selected = 0;
    return saved;
  }
  if (selected) {
    for (size_t i : taken) selected->push_back(engines[i].name);
  }
  return Status::Ok();
}

Status StartUp(const StartUpOptions& options, ProgramState& state) {
  std::filesystem::path root =
      options.home.empty() ? DefaultInstallFolder() : std::filesystem::absolute(options.home);
  if (Status prepared = PrepareInstallFolder(root); !prepared.ok()) return prepared;
  state.home = InstallFolder(root);

  SettingsLoad load = LoadNetworkSettings(state.SettingsFile(), state.settings,
                                          options.detectBrowser
                                              ? options.detectBrowser
                                              : std::function<std::string()>(DetectDefaultBrowser));
  if (!load.read.ok()) state.warnings.push_back(load.read.message());
  if (!load.save.ok()) state.warnings.push_back(load.save.message());
  ProgramOptionsLoad own = LoadProgramOptions(state.ProgramOptionsFile(), state.settings.program);
  if (!own.read.ok()) state.warnings.push_back(own.read.message());
  Status suspensions = LoadSuspensions(state.SuspensionFile(), state.suspensions, WallClock::now());
  if (!suspensions.ok()) state.warnings.push_back(suspensions.message());

  ReadCurrentProfilePath(state.ProfileListFile(), state.currentProfilePath);
  std::string profile = state.CurrentProfileFile();
  // A current profile that cannot be opened starts the program with no
  // engines, as a profile list naming no profile does; the user sees the
  // empty catalogue and picks or creates another profile.
  if (!profile.empty()) LoadProfile(profile, state.catalogue).IgnoreError();
  // Such an engine stays in the profile, so that saving it loses nothing;
  // a search refuses it with the same words.
  for (const EngineDefinition& engine : state.catalogue.engines) {
    Status paging = CheckPaging(engine);
    if (!paging.ok()) state.warnings.push_back(paging.message() + " Searches leave it out.");
  }
  DeriveReadChunkSize(state.settings);
  return Status::Ok();
}

}  // namespace trovelane
