// "suspensions.json" in the install folder: the engines suspended after a
// block (search/engine_suspension.h), so that a suspension outlasts the run
// of the program that met the block. A JSON object:
//
//   { "suspensions": [
//       { "engine": "DuckDuckGo", "until": 1765203900, "block": "captcha" },
//       { "engine": "Brave", "until": 1765200180, "block": "http", "status": 429 } ] }
//
// "until" is in seconds since 1970 (UTC). Suspensions that have run out are
// dropped when the file is read and not written again.
//
// Threads: plain functions; the caller serialises access to one file (the
// front ends call them on their owner thread).
#pragma once

#include <string>

#include "platform/status.h"
#include "search/engine_suspension.h"

namespace trovelane {

inline constexpr const char* kSuspensionFileName = "suspensions.json";

// Reads `path` into `suspensions` (emptied first), keeping those still
// running at `now`. A missing file is no suspension and OK. A damaged file
// (not JSON, or an entry of the wrong shape) leaves no suspension at all and
// returns kCorruption with a message for the user; it never throws.
Status LoadSuspensions(const std::string& path, EngineSuspensions& suspensions,
                       WallClock::time_point now);

// Replaces `path` at once with `suspensions` (those still running at `now`).
Status SaveSuspensions(const std::string& path, const EngineSuspensions& suspensions,
                       WallClock::time_point now);

}  // namespace trovelane
