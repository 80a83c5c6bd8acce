#include "search/plugin_host.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <set>
#include <system_error>

#include "engines/anchor_parser.h"
#include "engines/html_scan.h"
#include "engines/plugin_name.h"
#include "engines/result_link.h"
#include "net/http_url.h"
#include "platform/install_folder.h"
#include "platform/mutex.h"
#include "platform/shared_library.h"
#include "search/accept_link.h"
#include "search/search_status.h"
#include "search/search_text.h"
#include "search/search_worker.h"
#include "search/validation_fetch.h"

namespace trovelane {
namespace {

// The libraries in use by a run, by canonical path.
Mutex busyMutex;
std::set<std::string> busyLibraries GUARDED_BY(busyMutex);

// Holds a library's place in busyLibraries for the length of one run.
class BusyClaim {
 public:
  explicit BusyClaim(std::string path) : path_(std::move(path)) {
    MutexLock guard(&busyMutex);
    claimed_ = busyLibraries.insert(path_).second;
  }
  ~BusyClaim() {
    if (!claimed_) return;
    MutexLock guard(&busyMutex);
    busyLibraries.erase(path_);
  }
  BusyClaim(const BusyClaim&) = delete;
  BusyClaim& operator=(const BusyClaim&) = delete;
  bool claimed() const { return claimed_; }

 private:
  std::string path_;
  bool claimed_ = false;
};

std::string CanonicalText(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::canonical(path, ec);
  return (ec ? path : canonical).string();
}

// What the services reach through word 0 of the context.
struct PluginRun {
  EngineRunContext& worker;
  std::string cookies;        // the sink of the current request, when one was given
  // Results handed over, the plug-in engine's count for the limit (atomic
  // as every engine's count is; the plug-in hands over on its own thread).
  std::atomic<int> pluginResultCount{0};
  std::string pageBase;       // scheme, host and port of the page last read
};

EngineRunContext& WorkerOf(HostContext* context) {
  return static_cast<PluginRun*>(context->host)->worker;
}

// Copies text into a plug-in's buffer of QM_LINK_BUFFER_SIZE bytes, cut to fit.
void CopyOut(std::string_view text, char* out) {
  size_t n = std::min(text.size(), static_cast<size_t>(QM_LINK_BUFFER_SIZE - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The services. Each catches everything: nothing may unwind into the plug-in.

int32_t CheckRelevanceService(HostContext* context, const char* url, int32_t* relevanceOut) {
  try {
    if (!context || !context->host) return 0;
    EngineRunContext& worker = WorkerOf(context);
    if (worker.cancelled() || !url) return 0;
    int relevance = 0;
    int valid = ValidationFetch(worker.validationConnection(), url, worker.expression(),
                                worker.settings(), relevanceOut ? &relevance : nullptr,
                                [&worker](const std::string& text) { worker.SendStatus(text); });
    if (relevanceOut) *relevanceOut = relevance;
    return valid && !worker.cancelled() ? 1 : 0;
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

int32_t AddResultService(HostContext* context, const char* url, const char* text,
                         const char* engineName, int32_t validated, int32_t relevance) {
  try {
    if (!context || !context->host) return 0;
    PluginRun& run = *static_cast<PluginRun*>(context->host);
    EngineRunContext& worker = run.worker;
    if (worker.cancelled()) return 0;
    // A result names a page of its own: an empty link names none, and a
    // relative one is taken against the page the plug-in last requested
    // (there is none to take it against before its first request). Such a
    // result is dropped; the plug-in goes on.
    std::string link = url ? url : "";
    if (link.empty()) return 1;
    if (!LinkNamesHost(link)) {
      if (run.pageBase.empty()) return 1;
      MakeAbsoluteLink(run.pageBase, link);
      if (link.empty()) return 1;
    }
    const std::string title = text ? text : "";
    int position = 0;
    size_t key = kNoDuplicateKey;
    switch (worker.AdmitResult(run.pluginResultCount.load(), link, title, position, key)) {
      case EngineRunContext::Admission::kStopped:
        return 0;
      case EngineRunContext::Admission::kLimitReached:
        worker.End(EngineEnding::kLimit);
        return 0;
      case EngineRunContext::Admission::kDuplicate:
        return 1;
      case EngineRunContext::Admission::kNew:
        break;
    }
    switch (worker.HandOff(link, title, validated, relevance, run.pluginResultCount,
                           engineName ? engineName : "", position, key)) {
      case EngineRunContext::HandOffOutcome::kDelivered:
        break;
      case EngineRunContext::HandOffOutcome::kDoesNotFit:
        return 1;  // a link too long for the record is dropped; the plug-in goes on
      case EngineRunContext::HandOffOutcome::kStopped:
        return 0;
      case EngineRunContext::HandOffOutcome::kLimitReached:
        worker.End(EngineEnding::kLimit);
        return 0;
    }
    worker.SendStatus("");
    return 1;
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

int32_t ConnectService(HostContext* context, const char* url, int32_t isPost, const char* referer,
                       const char* body, const char* cookieToSend, char* cookieSink) {
  try {
    if (!context || !context->host) return 0;
    PluginRun& run = *static_cast<PluginRun*>(context->host);
    EngineRunContext& worker = run.worker;
    if (worker.cancelled() || !url) return 0;
    CHttpURL& connection = worker.connection();
    if (connection.IsConnected()) connection.Close();
    if (!connection.SetURL(url, isPost != 0).ok()) return 0;
    const std::string sent = cookieToSend ? cookieToSend : "";
    if (cookieToSend) connection.cookieToSend = sent.c_str();
    run.cookies.clear();
    if (cookieSink) connection.cookieSink = &run.cookies;
    worker.SendStatus(FormatStatus(kStatusConnecting, url));
    // An empty referer sends none.
    const bool opened =
        connection.Open(worker.settings().program.userAgent.c_str(), referer ? referer : "",
                        isPost ? (body ? body : "") : nullptr, &worker.settings().proxy);
    connection.cookieToSend = nullptr;
    connection.cookieSink = nullptr;
    if (cookieSink) CopyOut(run.cookies, cookieSink);
    // Where the page came from, after any redirect.
    if (opened) {
      run.pageBase = (connection.IsHttps() ? "https://" : "http://") + connection.GetHost() +
                     ":" + std::to_string(connection.GetPort()) + "/";
    }
    if (opened && connection.HasStatusLine()) {
      worker.UpdateReport([&](EngineReport& r) {
        r.reached = true;
        r.httpStatus = connection.GetStatus();
        ++r.pages;
      });
    }
    return opened && !worker.cancelled() ? 1 : 0;
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

int32_t ReadService(HostContext* context, char* buffer, int32_t size) {
  try {
    if (!context || !context->host) return 0;
    EngineRunContext& worker = WorkerOf(context);
    if (worker.cancelled() || !buffer || size < 1) return 0;
    worker.SendStatus(FormatStatus(kStatusRetrieving, worker.connection().GetPath()));
    if (worker.cancelled()) return 0;
    return worker.connection().Read(buffer, size);
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

int32_t CloseService(HostContext* context) {
  try {
    if (context && context->host) WorkerOf(context).connection().Close();
  } catch (...) {
    // Nothing the plug-in could act on: the service still reports the close.
  }
  return 1;
}

int32_t SetStatusService(HostContext* context, const char* text) {
  try {
    if (!context || !context->host) return 0;
    EngineRunContext& worker = WorkerOf(context);
    if (worker.cancelled()) return 0;
    worker.SendStatus(text ? text : "");
    return 1;
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

int32_t FindNextLinkService(HostContext* /*context*/, const char* html, char* urlOut,
                            char* titleOut) {
  try {
    return FindNextLinkInText(html, urlOut, titleOut);
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

int32_t GetValidationModeService(HostContext* context) {
  try {
    if (!context || !context->host) return 0;
    const int mode = WorkerOf(context).validationMode();
    return mode == kValidationVal || mode == kValidationValRel ? mode : kValidationNone;
  } catch (...) {
    // No exception may cross back into the plug-in: it becomes the service's failure, 0.
    return 0;
  }
}

// Gives this thread a current directory of its own, `folder`, so that the
// plug-in's relative file names resolve there without moving the rest of
// the program. False when the system refuses; the directory is then the
// process's.
bool UsePrivateDirectory(const std::filesystem::path& folder) {
  if (folder.empty() || ::unshare(CLONE_FS) != 0) return false;
  return ::chdir(folder.c_str()) == 0;
}

template <typename Function>
Function Bind(const SharedLibrary& library, const char* name) {
  return reinterpret_cast<Function>(library.Symbol(name));
}

}  // namespace

int32_t FindNextLinkInText(const char* html, char* urlOut, char* titleOut) {
  if (urlOut) urlOut[0] = '\0';
  if (titleOut) titleOut[0] = '\0';
  if (!html || !urlOut || !titleOut) return 0;
  const std::string_view page(html);
  const size_t at = FindNoCase(page, "<A");
  if (at == kNotFound) return 0;
  std::string url;
  std::string title;
  const size_t used = ParseAnchor(page, at, url, title);
  if (used == 0) return static_cast<int32_t>(std::min<size_t>(at, INT32_MAX));
  if (title.empty()) title = url;
  CopyOut(url, urlOut);
  CopyOut(title, titleOut);
  return static_cast<int32_t>(std::min<size_t>(at + used, INT32_MAX));
}

bool PluginLibraryBusy(const std::filesystem::path& path) {
  MutexLock guard(&busyMutex);
  return busyLibraries.count(CanonicalText(path)) != 0;
}

void RunPluginEngine(EngineRunContext& worker, const EngineDefinition& engine) {
  std::optional<std::filesystem::path> path =
      FindPluginLibrary(engine.name, InstallFolder(worker.workFolder()).PluginFolders());
  if (!path) {
    worker.End(EngineEnding::kError, "the plug-in library was not found");
    return;
  }
  BusyClaim claim(CanonicalText(*path));
  if (!claim.claimed()) {
    worker.End(EngineEnding::kError, "the plug-in is in use by another search");
    return;
  }

  // Absolute before the directory changes.
  std::error_code ec;
  const std::filesystem::path libraryPath = std::filesystem::absolute(*path, ec);
  const std::filesystem::path workFolder = std::filesystem::absolute(worker.workFolder(), ec);
  const std::filesystem::path spoolFolder =
      UsePrivateDirectory(workFolder) ? workFolder : std::filesystem::current_path(ec);

  SharedLibrary library;
  if (worker.cancelled()) return;
  if (Status loaded = library.Open(libraryPath.string()); !loaded.ok()) {
    worker.End(EngineEnding::kError,
               "the plug-in library could not be loaded: " + loaded.message());
    return;
  }

  auto initialize = Bind<QMPluginInitializeFunction>(library, QM_PLUGIN_INITIALIZE_EXPORT);
  auto getOperators = Bind<QMGetBooleanOperatorsFunction>(library, QM_GET_BOOLEAN_OPERATORS_EXPORT);
  auto iterate =
      Bind<QMPerformSearchIterationFunction>(library, QM_PERFORM_SEARCH_ITERATION_EXPORT);
  auto terminate = Bind<QMPluginTerminateFunction>(library, QM_PLUGIN_TERMINATE_EXPORT);
  if (!initialize || !getOperators || !iterate || !terminate) {
    worker.End(EngineEnding::kError, "the plug-in library lacks an entry point");
  } else {
    PluginRun run{worker, {}, {}, {}};
    HostContext context{&run,
                        CheckRelevanceService,
                        AddResultService,
                        ConnectService,
                        ReadService,
                        CloseService,
                        SetStatusService,
                        FindNextLinkService,
                        GetValidationModeService};
    try {
      initialize(&context);
    } catch (...) {
      // A plug-in that throws out of a call is treated as if the call returned: the run
      // goes on to its next step, and terminate() still runs once.
    }
    BooleanOperators operators{};
    try {
      getOperators(&operators);
    } catch (...) {
      // Without operators the query is rendered with none.
    }
    const std::string query = RenderWithOperators(
        worker.expression().Root(), operators.andOperator ? operators.andOperator : "",
        operators.orOperator ? operators.orOperator : "",
        operators.notOperator ? operators.notOperator : "",
        operators.exactOperator ? operators.exactOperator : "");
    // Each iteration is one result page as the plug-in sees it; the
    // program's page limit bounds a site that never stops offering more.
    const int maxPages = worker.settings().program.maxPagesPerEngine;
    bool wantsMore = false;
    try {
      for (int pages = 0; !worker.cancelled() && (maxPages <= 0 || pages < maxPages); ++pages) {
        wantsMore = false;
        wantsMore = iterate(query.c_str()) != 0;
        if (!wantsMore) break;
      }
    } catch (...) {
      // An exception out of Iterate ends the plug-in's pages, as a return of 0 does.
    }
    // A plug-in that still had pages to offer was cut off by the page limit.
    if (wantsMore && !worker.cancelled()) worker.End(EngineEnding::kLimit);
    try {
      terminate();
    } catch (...) {
      // The library is released below all the same.
    }
    if (worker.connection().IsConnected()) worker.connection().Close();
  }
  library.Close();
  // The plug-in deletes its spool file itself; a plug-in that did not (or
  // was stopped half-way) leaves none behind either.
  std::filesystem::remove(SpoolFilePath(spoolFolder, static_cast<long>(::gettid())), ec);
}

}  // namespace trovelane
