// Where a plug-in engine's library is found and how its display name is asked.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"

namespace trovelane {

inline constexpr const char* kBadPluginName = "Bad Plugin";

// The file to look for: a name from the Windows version ending in ".dll" (any
// case) is looked up with ".so" instead.
std::string PluginLibraryFileName(std::string_view name);

// The first of `folders` that holds the library `name`. None when no folder
// holds it, or when the name is not a plain file name (it must lie in a
// plug-ins folder, so "/" and "\" are refused).
std::optional<std::filesystem::path> FindPluginLibrary(
    std::string_view name, const std::vector<std::filesystem::path>& folders);

// Loads the plug-in library that `engine` names, asks its QMGetPluginName
// with a 1024-byte buffer and unloads it. "Bad Plugin" when the library
// cannot be found or loaded, lacks the export, or the call returns non-zero.
std::string PluginDisplayName(const EngineDefinition& engine,
                              const std::vector<std::filesystem::path>& folders);

// What the engine list shows: the plug-in's display name or the engine's name.
std::string EngineDisplayName(const EngineDefinition& engine,
                              const std::vector<std::filesystem::path>& pluginFolders);

}  // namespace trovelane
