#include "platform/install_folder.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace trovelane {
namespace {

constexpr const char* kListFileName = "qmkprfl.dat";

}  // namespace

std::filesystem::path DefaultInstallFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome == '/') return std::filesystem::path(dataHome) / "trovelane";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::filesystem::path(home) / ".local/share/trovelane";
  return {};
}

std::string InstallFolder::Resolve(std::string_view name) const {
  std::filesystem::path path(name);
  if (path.is_absolute()) return path.string();
  std::filesystem::path resolved = root_ / path;
  // Lists copied from the Windows version write relative folders with "".
  std::string slashed(name);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  std::error_code ec;
  if (slashed != name && !std::filesystem::exists(resolved, ec) &&
      std::filesystem::exists(root_ / slashed, ec)) {
    resolved = root_ / slashed;
  }
  return resolved.string();
}

std::filesystem::path ProgramPluginFolder() {
  // Installed: <prefix>/bin/<program> and <prefix>/<libdir>/trovelane/plugins.
  std::error_code ec;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path installed =
        program.parent_path().parent_path() / TROVELANE_PLUGIN_INSTALL_DIR;
    if (std::filesystem::is_directory(installed, ec)) return installed;
  }
  return TROVELANE_PLUGIN_DIR;  // a build tree
}

std::vector<std::filesystem::path> InstallFolder::PluginFolders() const {
  return {root_ / "plugins", ProgramPluginFolder()};
}

Status PrepareInstallFolder(const std::filesystem::path& root, bool* seeded) {
  if (seeded) *seeded = false;
  if (root.empty()) {
    return Status::InvalidArgument("no install folder: give --home DIR or set HOME");
  }
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
  if (ec) {
    return Status::IoError("cannot create the install folder " + root.string() + ": " +
                           ec.message());
  }
  if (!std::filesystem::is_directory(root, ec)) {
    return Status::IoError("the install folder " + root.string() + " is not a folder");
  }
  std::filesystem::path list = root / kListFileName;
  if (std::filesystem::exists(list, ec)) return Status::Ok();

  // A file the user already keeps under one of these names stays as it is.
  const std::pair<const char*, const char*> seeds[] = {
      {kDefaultProfileFileName, kDefaultProfileText},
      {kWebProfileFileName, kWebProfileText},
      {kResearchProfileFileName, kResearchProfileText}};
  for (const auto& [name, text] : seeds) {
    std::filesystem::path profile = root / name;
    if (std::filesystem::exists(profile, ec)) continue;
    Status saved = WriteFileAtomically(profile.string(), text);
    if (!saved.ok()) return saved;
  }
  // The list is written last: until it exists, the next start seeds again.
  std::string listText = std::string(kWebProfileFileName) + "\n" + kDefaultProfileDisplayName +
                         "\t" + kDefaultProfileFileName + "\n" + kWebProfileDisplayName + "\t" +
                         kWebProfileFileName + "\n" + kResearchProfileDisplayName + "\t" +
                         kResearchProfileFileName + "\n";
  Status saved = WriteFileAtomically(list.string(), listText);
  if (saved.ok() && seeded) *seeded = true;
  return saved;
}

}  // namespace trovelane
