// What every command that works on the install folder shares: the start-up,
// finding an engine by name or index, and failing with a message.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "app/program_state.h"

namespace trovelane::cli {

// Prints `message` to standard error and ends the command with `exitCode`.
[[noreturn]] void Fail(const std::string& message, int exitCode = kExitFailure);

// Flushes standard output at the end of a command that exited with `code`.
// Output lost on the way (a full disk, a device that refuses it) turns a
// success into kExitFailure, with the reason on standard error; any other
// code stands.
int FinishStandardOutput(int code);

// Starts the program on the install folder of --home (or the default one),
// printing any start-up warning to standard error.
ProgramState OpenProgram(const GlobalOptions& global);

// The index of the engine that `nameOrIndex` names: an index as `engines`
// lists it, else the one engine with exactly that name, else the one
// plug-in engine whose library (found in `pluginFolders`) gives itself that
// display name, as `engines` shows it.
size_t FindEngine(const EngineCatalogue& catalogue, const std::string& nameOrIndex,
                  const std::vector<std::filesystem::path>& pluginFolders = {});

// --resolve HOST:PORT:ADDR (repeatable) on `command`, as curl has it.
void AddResolveOption(CLI::App* command, std::vector<std::string>& entries);
// Puts the --resolve entries before those of the settings, so that they win;
// a malformed one ends the command with kExitUsage.
void ApplyResolveOptions(const std::vector<std::string>& entries, ProgramOptions& options);

// "GET" or "POST".
const char* MethodName(int method);

}  // namespace trovelane::cli
