#include "search/engine_suspension.h"

#include <algorithm>

#include "engines/html_scan.h"
#include "search/search_status.h"

namespace trovelane {

std::chrono::seconds SuspensionLength(BlockKind kind) {
  return kind == BlockKind::kCaptcha ? kCaptchaSuspension : kHttpBlockSuspension;
}

std::string SuspendedText(const Suspension& s) {
  return FormatStatus(kStatusSuspended, LocalClockText(s.until), BlockLabel(s.kind, s.httpStatus));
}

BlockKind DetectBlock(const EngineDefinition& engine, int httpStatus, std::string_view page) {
  for (const std::string& marker : engine.web.blockMarkers) {
    if (!marker.empty() && FindNoCase(page, marker) != kNotFound) return BlockKind::kCaptcha;
  }
  if (httpStatus == 403 || httpStatus == 429) return BlockKind::kHttpStatus;
  return BlockKind::kNone;
}

const Suspension* EngineSuspensions::Active(std::string_view engineName,
                                            WallClock::time_point now) const {
  for (const Suspension& s : entries_) {
    if (s.engineName == engineName && s.until > now) return &s;
  }
  return nullptr;
}

void EngineSuspensions::Suspend(const Suspension& suspension) {
  for (Suspension& s : entries_) {
    if (s.engineName == suspension.engineName) {
      s = suspension;
      return;
    }
  }
  entries_.push_back(suspension);
}

bool EngineSuspensions::DropExpired(WallClock::time_point now) {
  const size_t before = entries_.size();
  std::erase_if(entries_, [now](const Suspension& s) { return s.until <= now; });
  return entries_.size() != before;
}

}  // namespace trovelane
