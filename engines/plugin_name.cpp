#include "engines/plugin_name.h"

#include <array>
#include <system_error>

#include "platform/ascii.h"
#include "platform/shared_library.h"
#include "plugins/plugin_api.h"

namespace trovelane {

std::string PluginLibraryFileName(std::string_view name) {
  constexpr std::string_view kDll = ".dll";
  if (name.size() > kDll.size() && EqualsNoCase(name.substr(name.size() - kDll.size()), kDll)) {
    return std::string(name.substr(0, name.size() - kDll.size())) + ".so";
  }
  return std::string(name);
}

std::optional<std::filesystem::path> FindPluginLibrary(
    std::string_view name, const std::vector<std::filesystem::path>& folders) {
  std::string file = PluginLibraryFileName(name);
  if (file.empty() || file == "." || file == ".." ||
      file.find_first_of("/\\") != std::string::npos) {
    return std::nullopt;
  }
  for (const std::filesystem::path& folder : folders) {
    std::error_code ec;
    std::filesystem::path candidate = folder / file;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

std::string PluginDisplayName(const EngineDefinition& engine,
                              const std::vector<std::filesystem::path>& folders) {
  std::optional<std::filesystem::path> path = FindPluginLibrary(engine.name, folders);
  SharedLibrary library;
  if (!path || !library.Open(path->string()).ok()) return kBadPluginName;
  auto getName =
      reinterpret_cast<QMGetPluginNameFunction>(library.Symbol(QM_GET_PLUGIN_NAME_EXPORT));
  if (!getName) return kBadPluginName;
  std::array<char, 1024> buffer{};
  try {
    if (getName(buffer.data(), static_cast<int32_t>(buffer.size())) != 0) return kBadPluginName;
  } catch (...) {
    // A plug-in's exception must not cross into the program: the plug-in
    // shows under the name of one that cannot be read.
    return kBadPluginName;
  }
  buffer.back() = '\0';  // a plug-in that forgot the terminator cannot make us read past it
  return buffer.data();
}

std::string EngineDisplayName(const EngineDefinition& engine,
                              const std::vector<std::filesystem::path>& pluginFolders) {
  return engine.isPlugin ? PluginDisplayName(engine, pluginFolders) : engine.name;
}

}  // namespace trovelane
