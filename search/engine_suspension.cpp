#include "search/engine_suspension.h"

#include <algorithm>

#include "engines/html_scan.h"
#include "engines/page_marker.h"
#include "search/search_status.h"

namespace trovelane {

std::chrono::seconds SuspensionLength(BlockKind kind) {
  return kind == BlockKind::kCaptcha ? kCaptchaSuspension : kHttpBlockSuspension;
}

std::string SuspendedText(const Suspension& s) {
  return FormatStatus(kStatusSuspended, LocalClockText(s.until), BlockLabel(s.kind, s.httpStatus));
}

bool HeadHoldsHeader(std::string_view head, std::string_view marker) {
  auto trim = [](std::string_view text) {
    while (!text.empty() && IsAsciiBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsAsciiBlank(text.back())) text.remove_suffix(1);
    return text;
  };
  const size_t colon = marker.find(':');
  const std::string_view name = trim(marker.substr(0, colon));
  const std::string_view value =
      colon == std::string_view::npos ? std::string_view{} : trim(marker.substr(colon + 1));
  if (name.empty()) return false;
  // The status line is no header; the first line is skipped.
  for (size_t from = head.find('\n'); from != std::string_view::npos && from < head.size();) {
    const size_t end = std::min(head.find('\n', from + 1), head.size());
    const std::string_view line = head.substr(from + 1, end - from - 1);
    from = end;
    const size_t lineColon = line.find(':');
    if (lineColon == std::string_view::npos) continue;
    if (EqualsNoCase(trim(line.substr(0, lineColon)), name) &&
        FindNoCase(line.substr(lineColon + 1), value) != kNotFound) {
      return true;
    }
  }
  return false;
}

BlockKind DetectBlock(const EngineDefinition& engine, int httpStatus, std::string_view page,
                      std::string_view head) {
  for (const std::string& marker : engine.web.blockMarkers) {
    const PageMarker parsed = ParsePageMarker(marker);
    if (!parsed.empty() && FindPageMarker(page, parsed).found()) return BlockKind::kCaptcha;
  }
  for (const std::string& header : engine.web.blockHeaders) {
    if (HeadHoldsHeader(head, header)) return BlockKind::kCaptcha;
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
