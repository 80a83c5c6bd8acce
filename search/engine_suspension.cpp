#include "search/engine_suspension.h"

#include <algorithm>

#include "engines/html_scan.h"
#include "engines/page_marker.h"
#include "search/search_status.h"

namespace trovelane {

std::chrono::seconds SuspensionLength(BlockKind kind, std::optional<std::chrono::seconds> named) {
  if (kind == BlockKind::kCaptcha) {
    return named ? std::max(kCaptchaSuspension, *named) : kCaptchaSuspension;
  }
  return named ? *named : kHttpBlockSuspension;
}

namespace {

// The value of the first header line named `name` (any case), blanks
// trimmed; none when the head has no such line.
std::optional<std::string_view> HeaderValue(std::string_view head, std::string_view name) {
  for (size_t from = head.find('\n'); from != std::string_view::npos && from < head.size();) {
    const size_t end = std::min(head.find('\n', from + 1), head.size());
    const std::string_view line = head.substr(from + 1, end - from - 1);
    from = end;
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsNoCase(TrimBlanks(line.substr(0, colon)), name)) {
      return TrimBlanks(line.substr(colon + 1));
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> EitherHeader(std::string_view head, std::string_view name) {
  if (auto value = HeaderValue(head, std::string("X-") + std::string(name))) return value;
  return HeaderValue(head, name);
}

// A whole decimal number (digits only, at most 18 of them).
std::optional<long long> WholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (!IsAsciiDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// An HTTP date in its preferred form, "Sun, 06 Nov 1994 08:49:37 GMT".
std::optional<WallClock::time_point> HttpDate(std::string_view text) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const size_t comma = text.find(", ");
  if (comma == std::string_view::npos) return std::nullopt;
  text.remove_prefix(comma + 2);
  // "06 Nov 1994 08:49:37 GMT"
  if (text.size() != 24 || text.substr(20) != " GMT" || text[2] != ' ' || text[6] != ' ' ||
      text[11] != ' ' || text[14] != ':' || text[17] != ':') {
    return std::nullopt;
  }
  const auto day = WholeNumber(text.substr(0, 2));
  const auto year = WholeNumber(text.substr(7, 4));
  const auto hour = WholeNumber(text.substr(12, 2));
  const auto minute = WholeNumber(text.substr(15, 2));
  const auto second = WholeNumber(text.substr(18, 2));
  int month = -1;
  for (int m = 0; m < 12; ++m) {
    if (text.substr(3, 3) == kMonths[m]) month = m;
  }
  if (!day || !year || !hour || !minute || !second || month < 0 || *day < 1 || *day > 31 ||
      *hour > 23 || *minute > 59 || *second > 60) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(*year)),
                                         std::chrono::month(static_cast<unsigned>(month + 1)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return std::nullopt;
  return WallClock::time_point(std::chrono::sys_days(date)) + std::chrono::hours(*hour) +
         std::chrono::minutes(*minute) + std::chrono::seconds(*second);
}

// Times before this are counts of seconds, not Unix times (2001-09-09).
constexpr long long kSmallestUnixTime = 1000000000;

std::chrono::seconds Until(WallClock::time_point when, WallClock::time_point now) {
  const auto wait = std::chrono::ceil<std::chrono::seconds>(when - now);
  return std::clamp<std::chrono::seconds>(wait, std::chrono::seconds(0), kMaxNamedSuspension);
}

std::chrono::seconds Clamped(long long seconds) {
  return std::chrono::seconds(std::min<long long>(seconds, kMaxNamedSuspension.count()));
}

}  // namespace

bool RateLimitExhausted(std::string_view head) {
  const auto remaining = EitherHeader(head, "RateLimit-Remaining");
  return remaining && WholeNumber(*remaining) == 0;
}

std::optional<std::chrono::seconds> ServerNamedWait(std::string_view head,
                                                    WallClock::time_point now) {
  if (const auto retry = HeaderValue(head, "Retry-After")) {
    if (const auto seconds = WholeNumber(*retry)) return Clamped(*seconds);
    if (const auto date = HttpDate(*retry)) return Until(*date, now);
  }
  if (!RateLimitExhausted(head)) return std::nullopt;
  const auto reset = EitherHeader(head, "RateLimit-Reset");
  const auto value = reset ? WholeNumber(*reset) : std::nullopt;
  if (!value) return std::nullopt;
  if (*value < kSmallestUnixTime) return Clamped(*value);
  return Until(WallClock::time_point(std::chrono::seconds(*value)), now);
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
