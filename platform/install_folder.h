// The install folder: where "qmknet.dat", "qmkprfl.dat", the profiles and
// the "plugins" folder live. It is --home DIR, else $XDG_DATA_HOME/trovelane
// (~/.local/share/trovelane). Relative names in the data files resolve
// against it; the program never changes its current directory, so the file
// names a user types keep their meaning.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

namespace trovelane {

// The profiles a new install folder is seeded with: the example engines on
// 127.0.0.1 (for the demo and the tests), the public engines of the web,
// which a first start makes the current profile, and the research sources
// that answer through their APIs (an encyclopedia, preprints, publications,
// a news site, code).
extern const char* const kDefaultProfileText;
inline constexpr const char* kDefaultProfileFileName = "default.prf";
inline constexpr const char* kDefaultProfileDisplayName = "Default";
extern const char* const kWebProfileText;
inline constexpr const char* kWebProfileFileName = "web.prf";
inline constexpr const char* kWebProfileDisplayName = "Web";
extern const char* const kResearchProfileText;
inline constexpr const char* kResearchProfileFileName = "research.prf";
inline constexpr const char* kResearchProfileDisplayName = "Research";

// $XDG_DATA_HOME/trovelane, else $HOME/.local/share/trovelane; empty when
// neither variable is set.
std::filesystem::path DefaultInstallFolder();

// The plug-ins that come with the program: <prefix>/<libdir>/trovelane/plugins
// beside an installed program, else the build tree's "plugins" folder.
std::filesystem::path ProgramPluginFolder();

class InstallFolder {
 public:
  InstallFolder() = default;
  explicit InstallFolder(std::filesystem::path root) : root_(std::move(root)) {}

  const std::filesystem::path& root() const { return root_; }

  // `name` as a data file holds it, resolved against the folder unless it is
  // absolute. A relative name with "\" that is found only with "/" in its
  // place is taken that way.
  std::string Resolve(std::string_view name) const;

  // Where plug-in libraries are looked for: the folder's own "plugins", then
  // the plug-ins built with the program.
  std::vector<std::filesystem::path> PluginFolders() const;

 private:
  std::filesystem::path root_;
};

// Creates the folder if needed and, when it holds no "qmkprfl.dat" yet,
// seeds it with the three profiles above (each unless a file of that name is
// already there) and a profile list of them that names the web profile as
// current. `seeded` tells whether the list was written. The message of a
// failure is the text shown to the user.
Status PrepareInstallFolder(const std::filesystem::path& root, bool* seeded = nullptr);

}  // namespace trovelane
