// What one engine's run (the result-page loop of an engine definition, or a
// site plug-in driven by the plug-in host) reaches of the worker that runs
// it: its connections and private copies, its cancel flag, its status line,
// its report, the spool file and the hand-off of results. SearchWorker
// implements it; tests hand the loop a fake that records what it is given.
//
// Threads: every method is called on the worker thread of the run, and only
// there, but for the few that the validation checks of the engine's results
// call on their own threads while the worker goes on (search/result_checks.h):
// HandOff, SendStatus, cancelled(), validationMode() and options(). The worker
// itself takes the locks that the hand-off, the report, the sightings and
// the spool file need (search/search_worker.h says which).
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "engines/search_expression.h"
#include "net/http_url.h"
#include "search/duplicate_filter.h"
#include "search/engine_report.h"
#include "search/result_checks.h"
#include "search/settings.h"

namespace trovelane {

// What the engine's run remembers from one result page to the next.
struct PageMemory {
  // The result links met on this engine's own pages, and how many of the
  // last page's were new: a page that brings none ends the engine.
  std::unordered_set<std::string> ownLinks;
  int newLinksOnPage = 0;
  // Result links (of a type the engine's rules let through, or a plug-in's
  // results) met so far: the position of the last one. candidatesOnPage
  // counts those of the last page scanned.
  int resultPosition = 0;
  int candidatesOnPage = 0;
  // The engine's count for a result limit per engine: the results it handed
  // over, raised at each page to the results its earlier pages are taken
  // to have given (resultsPerPage x page number). The worker thread reads
  // it for the limit test; hand-offs (also those of the checks' threads)
  // change it under the result lock.
  std::atomic<int> perEngineCount{0};
};

class EngineRunContext {
 public:
  virtual ~EngineRunContext() = default;

  // The engine's index in the catalogue.
  virtual int engineIndex() const = 0;

  // The settings of the search, copied when it started.
  virtual const NetworkSettings& settings() const = 0;
  // Where the spool files go (the install folder).
  virtual const std::filesystem::path& workFolder() const = 0;
  // The run's own copy of the search expression (matching state is per run).
  virtual SearchExpression& expression() = 0;
  // The connection of every request of the engine, and the one of a site
  // plug-in's validation fetches (CheckRelevance); Stop cancels both.
  virtual CHttpURL& connection() = 0;
  virtual CHttpURL& validationConnection() = 0;
  virtual PageMemory& pageMemory() = 0;
  // The validation fetches of the engine's accepted result links, run side
  // by side; Stop cancels them all.
  virtual ResultChecks& resultChecks() = 0;

  // The search's options, its effective validation mode (never AUTO) and
  // the duplicate filter all its engines share.
  virtual const SearchOptions& options() const = 0;
  virtual int validationMode() const = 0;
  virtual DuplicateFilter& duplicates() = 0;

  // Whether Stop has cancelled the run; once true, stays true.
  virtual bool cancelled() const = 0;

  // Shows `text` as the engine's status; returns at once once cancelled.
  // Also on a check's thread.
  virtual void SendStatus(const std::string& text) = 0;

  // Whether the result limit is reached, counted per engine
  // (`perEngineCount`) or from all engines.
  virtual bool LimitReached(int perEngineCount) = 0;

  // A site plug-in's result, before its hand-off: kStopped when stopped,
  // kLimitReached at the limit (`perEngineCount` counts the plug-in's
  // results). Else it takes the engine's next position (pageMemory's
  // resultPosition, in `position`) and the duplicate filter tells whether it
  // has seen it: a duplicate is recorded as a sighting of the key it
  // repeats; a new result is recorded, its key in `duplicateKey`. One step
  // under the search's result lock.
  enum class Admission { kStopped, kLimitReached, kDuplicate, kNew };
  virtual Admission AdmitResult(int perEngineCount, const std::string& url,
                                const std::string& title, int& position,
                                size_t& duplicateKey) = 0;

  // Hands one accepted result to the front end and waits until it was
  // taken; also on a check's thread. `validated` (0 or 1) and `relevance` (percent) are what the
  // accept filter or the plug-in found; the relevance is passed on only in
  // validation mode VAL+REL. The limit is tested again first; nothing is
  // counted unless kDelivered. The result carries `engineName` when not
  // empty (plug-ins name their own), else the engine's name, and its
  // `position` among the engine's results and `duplicateKey`, its key in the
  // duplicate filter (ResultHandoff).
  enum class HandOffOutcome { kDelivered, kStopped, kLimitReached, kDoesNotFit };
  virtual HandOffOutcome HandOff(const std::string& url, const std::string& title, int validated,
                                 int relevance, std::atomic<int>& perEngineCount,
                                 std::string_view engineName, int position,
                                 size_t duplicateKey) = 0;

  // A result link the duplicate filter turned away because another result
  // recorded it first (`duplicateKey`): this engine found it too, at
  // `position`. The run adds the engine to that result's finders at its end.
  virtual void AddSighting(size_t duplicateKey, int position) = 0;

  // Changes this engine's report (pages, bytes, HTTP status...).
  virtual void UpdateReport(const std::function<void(EngineReport&)>& change) = 0;
  // How the engine ended, unless an ending was set before (the first cause
  // stands). `detail` goes with kError.
  virtual void End(EngineEnding ending, const std::string& detail = {}) = 0;

  // The spool file of the page download. False when the run was stopped or
  // the file failed; FinishSpoolFile closes and deletes the file and, with
  // `readBack`, first reads it back whole into `page` (at most `limit`
  // bytes: a longer file fails).
  virtual bool CreateSpoolFile() = 0;
  virtual bool AppendToSpoolFile(const char* data, size_t size) = 0;
  virtual bool FinishSpoolFile(bool readBack, std::string& page, size_t limit) = 0;
};

}  // namespace trovelane
