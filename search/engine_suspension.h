// Engine suspension: an engine that blocked us (a CAPTCHA page, 403, 429, or
// an empty 202 answer) is left out of searches for a while, so that it is not
// hammered into a longer ban: one hour after a CAPTCHA, three minutes after
// an HTTP block, or until the time the answer names (Retry-After, a rate
// limit's reset), at most a day. The list lives as long as the program and is kept across
// runs by the app layer (app/suspension_file.h).
//
// Threads: an EngineSuspensions is used on the owner thread of the search
// run only (the run consults it at start and records blocks when workers
// end); it has no lock.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"
#include "search/engine_report.h"

namespace trovelane {

using WallClock = std::chrono::system_clock;

inline constexpr std::chrono::seconds kCaptchaSuspension = std::chrono::hours(1);
inline constexpr std::chrono::seconds kHttpBlockSuspension = std::chrono::minutes(3);

// The row text of a suspended engine: "Suspended until %s (%s)", the local
// time as HH:MM and BlockLabel.
inline constexpr const char* kStatusSuspended = "Suspended until %s (%s)";

struct Suspension {
  std::string engineName;
  WallClock::time_point until;
  BlockKind kind = BlockKind::kCaptcha;
  int httpStatus = 0;  // for BlockKind::kHttpStatus

  bool operator==(const Suspension&) const = default;
};

// The longest wait an answer's head can impose.
inline constexpr std::chrono::seconds kMaxNamedSuspension = std::chrono::hours(24);

// How long a block of `kind` suspends an engine. `named`, the wait the
// answer itself named (ServerNamedWait), stands instead of an HTTP block's
// three minutes; a CAPTCHA keeps its hour when the server names less.
std::chrono::seconds SuspensionLength(BlockKind kind,
                                      std::optional<std::chrono::seconds> named = std::nullopt);

// The wait the response head `head`, received at `now`, asks for before the
// next request: "Retry-After" in seconds or as an HTTP date; else, when
// "X-RateLimit-Remaining: 0" (or "RateLimit-Remaining: 0") says the
// requests are used up, "X-RateLimit-Reset" ("RateLimit-Reset"): the Unix
// time the limit resets, or a number of seconds when it is too small to be
// a time. Clamped to [0, kMaxNamedSuspension]; none when the head names no
// wait or names it in a form not read here.
std::optional<std::chrono::seconds> ServerNamedWait(std::string_view head,
                                                    WallClock::time_point now);

// Whether the head says the client's requests are used up:
// "X-RateLimit-Remaining: 0" or "RateLimit-Remaining: 0".
bool RateLimitExhausted(std::string_view head);

// "Suspended until 14:05 (CAPTCHA)".
std::string SuspendedText(const Suspension& suspension);

// The block a downloaded result page shows, before it is scanned: any of the
// definition's block markers (engines/page_marker.h) on the page, or any of
// its block header lines in the response head `head`, is a CAPTCHA; HTTP 403
// and 429 are blocks whatever the page says. kNone otherwise; an HTTP 202
// answer is a block only when its page yields no result, which the scan
// tells.
BlockKind DetectBlock(const EngineDefinition& engine, int httpStatus, std::string_view page,
                      std::string_view head = {});

// Whether the response head holds a header line as `marker` names it: "name"
// (any value) or "name: value" (a value holding that text); names and values
// compared in any case.
bool HeadHoldsHeader(std::string_view head, std::string_view marker);

class EngineSuspensions {
 public:
  // The suspension of `engineName` still running at `now`, or null.
  const Suspension* Active(std::string_view engineName, WallClock::time_point now) const;
  // Records `suspension`, replacing any earlier one of the same engine.
  void Suspend(const Suspension& suspension);
  // Drops every suspension that ended at or before `now`; true when one went.
  bool DropExpired(WallClock::time_point now);

  const std::vector<Suspension>& all() const { return entries_; }
  void Clear() { entries_.clear(); }

 private:
  std::vector<Suspension> entries_;
};

}  // namespace trovelane
