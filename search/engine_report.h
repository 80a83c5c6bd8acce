// What became of each engine of a search: how it ended, how many results it
// handed over and how many result pages it read. The search run keeps one
// EngineReport per engine of the catalogue (SearchRun::engineReports), so
// every front end can say after the search which engines answered.
//
// Plain data: copy freely; any thread. A worker fills its own report on its
// thread under the worker's lock; the owner thread takes a copy when the
// worker ends or is stopped.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace trovelane {

// How one engine's part of a search ended.
enum class EngineEnding {
  kNotRun,       // not selected, or the search has not reached it
  kDone,         // the engine had no further page (or nothing new on it)
  kLimit,        // the result limit or the page limit stopped it
  kUnreachable,  // no HTTP answer: name, connection or proxy failed, or the server closed
  kTlsFailure,   // the TLS handshake failed or the certificate did not verify
  kHttpStatus,   // a result page came with a status outside 2xx (httpStatus)
  kTimedOut,     // the server stayed silent past the connect or read time-out
  kBlocked,      // the engine answered with a CAPTCHA page, 403, 429 or an empty 202
  kSuspended,    // skipped: an earlier block suspended the engine until suspendedUntil
  kStopped,      // Stop (or Ctrl-C, or --timeout) ended it
  kError,        // anything else that ended it early: detail says what
};

// What kind of block an engine put up.
enum class BlockKind {
  kNone,
  kCaptcha,     // a page held one of the definition's block markers
  kHttpStatus,  // 403, 429, or 202 with no result on the page (blockStatus)
};

struct EngineReport {
  std::string engineName;
  EngineEnding ending = EngineEnding::kNotRun;
  int results = 0;      // results handed over to the front end
  int pages = 0;        // result pages read whole
  long long bytes = 0;  // bytes of those pages
  int httpStatus = 0;   // status of the last answer; 0 when none came
  bool reached = false;   // at least one result page came with an HTTP status line
  bool nextPage = false;  // the last page read points to a further one
  BlockKind block = BlockKind::kNone;  // kBlocked and kSuspended: which block
  int blockStatus = 0;                 // for BlockKind::kHttpStatus: 403, 429 or 202
  std::optional<std::chrono::system_clock::time_point> suspendedUntil;
  // The wait the last answer named (Retry-After, a used-up rate limit's
  // reset): a block suspends the engine for as long.
  std::optional<std::chrono::seconds> namedWait;
  std::string detail;  // kError: why, as the engine's last status said it

  bool operator==(const EngineReport&) const = default;
};

// "CAPTCHA", "HTTP 429": what a block is called in texts.
std::string BlockLabel(BlockKind kind, int blockStatus);

// "HH:MM" of `when` in local time.
std::string LocalClockText(std::chrono::system_clock::time_point when);

// "HTTP 404": how an answer's status is named on an engine's row and in its
// report.
std::string HttpStatusText(int httpStatus);

// The ending as one short text: "done", "limit", "unreachable", "TLS failure",
// "HTTP 404", "timed out", "blocked (CAPTCHA), suspended until 14:05",
// "suspended until 14:05 (HTTP 429)", "stopped", "error: <detail>", "not run".
std::string EndingText(const EngineReport& report);

// "20 results, 2 pages, done": one engine's line of the end-of-search report.
std::string EngineSummary(const EngineReport& report);

// The machine name of an ending, as JSON output carries it: "done", "limit",
// "unreachable", "tls", "http", "timeout", "blocked", "suspended", "stopped",
// "error", "notRun".
const char* EndingKey(EngineEnding ending);

}  // namespace trovelane
