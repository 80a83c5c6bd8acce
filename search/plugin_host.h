// The host side of site plug-ins: a worker of a plug-in engine loads the
// library its engine names, hands it a HostContext of eight services and
// drives it until it has finished (plugins/plugin_api.h is the interface).
//
// Threads: everything here runs on the engine's worker thread. The plug-in's
// entry points, its services and its unloading all happen there, so the
// library is never released under running plug-in code. Stop only cancels
// the worker (SearchWorker::Cancel): from then on every service fails at once
// (Connect, Read, CheckRelevance, AddResult and SetStatus return 0), the
// plug-in returns, and the worker calls QMPluginTerminate once and unloads
// once. A plug-in that stays in its own code past Stop keeps its library
// loaded until it returns.
//
// One run per library: while a library serves one engine (of this search,
// or of an earlier one whose plug-in has not returned since Stop), another
// engine naming the same library does not run; it ends quietly. The
// delivered plug-ins keep their run state in file-scope variables, which two
// runs at once would share.
//
// Files: the worker thread takes a private current directory, the install
// folder, for the plug-in's run, so the plug-in's relative file names
// ("sdump<tid>.bin", "plugins/<name>.site") resolve there; its spool file is
// the one Stop deletes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "plugins/plugin_api.h"

namespace trovelane {

class EngineRunContext;
class EngineDefinition;

// Worker thread: runs the plug-in `engine` for `worker` to its end, calling its
// iteration at most maxPagesPerEngine times (the program's option). Every
// way out is quiet on the engine's row, and its report ends kError saying
// why: a library that cannot be found or loaded, a missing entry point (then
// nothing of it is called), a library busy with another run.
void RunPluginEngine(EngineRunContext& worker, const EngineDefinition& engine);

// The FindNextLink service: finds the next "<A" (any case) in the
// NUL-terminated html and reads that anchor into urlOut and titleOut (each
// QM_LINK_BUFFER_SIZE bytes; an empty text becomes the url). Returns the
// offset just behind the anchor; the offset of the "<A" itself, with both
// buffers empty, when it has no link; 0 when there is no "<A".
int32_t FindNextLinkInText(const char* html, char* urlOut, char* titleOut);

// Whether a run of the library at `path` is in progress in this process.
bool PluginLibraryBusy(const std::filesystem::path& path);

}  // namespace trovelane
