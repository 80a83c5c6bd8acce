// trovelane-cli profiles: the profile list of "qmkprfl.dat" with the current
// profile marked, and choosing the current profile.
#include <iostream>
#include <memory>

#include "cli/program.h"
#include "engines/profile.h"
#include "engines/profile_list.h"

namespace trovelane::cli {
namespace {

void RunList(const GlobalOptions& global) {
  ProgramState state = OpenProgram(global);
  std::vector<SearchProfile> list;
  int current = ReadProfileList(state.ProfileListFile(), list, state.currentProfilePath);
  if (list.empty()) std::cout << "No profiles in " << state.ProfileListFile() << "\n";
  for (size_t i = 0; i < list.size(); ++i) {
    std::cout << (static_cast<int>(i) == current ? "* " : "  ") << list[i].name << "\t"
              << list[i].path << "\n";
  }
  if (current < 0 && !state.currentProfilePath.empty()) {
    std::cout << "Current profile (not in the list): " << state.currentProfilePath << "\n";
  }
}

// The entry named `choice`, else the one whose path is `choice`; else, when
// `choice` is a file, a new entry for it. -1 when there is none.
int ChooseProfile(std::vector<SearchProfile>& list, const std::string& choice) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].name == choice) return static_cast<int>(i);
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].path == choice) return static_cast<int>(i);
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(choice, ec)) return -1;
  std::filesystem::path path = std::filesystem::absolute(choice);
  list.push_back({path.stem().string(), path.string()});
  return static_cast<int>(list.size()) - 1;
}

void RunUse(const GlobalOptions& global, const std::string& choice) {
  ProgramState state = OpenProgram(global);
  std::vector<SearchProfile> list;
  ReadProfileList(state.ProfileListFile(), list, state.currentProfilePath);
  int selected = ChooseProfile(list, choice);
  if (selected < 0) Fail("No profile is named \"" + choice + "\", and no such file exists.");
  Status saved =
      WriteProfileList(state.ProfileListFile(), list, selected, state.currentProfilePath);
  if (!saved.ok()) Fail(saved.message());
  // A chosen profile that cannot be opened shows as one of 0 engines.
  LoadProfile(state.CurrentProfileFile(), state.catalogue).IgnoreError();
  std::cout << "Current profile: " << list[selected].name << " (" << state.currentProfilePath
            << "), " << state.catalogue.engines.size() << " engines\n";
}

}  // namespace

void AddProfileCommands(CLI::App& app, GlobalOptions& global) {
  auto choice = std::make_shared<std::string>();
  CLI::App* profiles =
      app.add_subcommand("profiles", "List the search profiles; the current one is marked \"*\"");
  profiles->require_subcommand(0, 1);
  CLI::App* use = profiles->add_subcommand(
      "use", "Make a profile current, by its name or its path (a new file is added to the list)");
  use->add_option("PROFILE", *choice, "Profile name or path")->required();
  use->callback([&global, choice] { RunUse(global, *choice); });
  profiles->callback([&global, profiles] {
    if (profiles->get_subcommands().empty()) RunList(global);
  });
}

}  // namespace trovelane::cli
