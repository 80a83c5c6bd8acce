#include "search/engine_report.h"

#include <ctime>
#include <iterator>

namespace trovelane {

std::string BlockLabel(BlockKind kind, int blockStatus) {
  if (kind == BlockKind::kCaptcha) return "CAPTCHA";
  return "HTTP " + std::to_string(blockStatus);
}

std::string LocalClockText(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}

namespace {

// Each ending's machine name (JSON) and its text in reports; the endings
// whose text says more (an HTTP status, a block, an error's detail) start
// from this one.
struct EndingName {
  EngineEnding ending;
  const char* key;
  const char* text;
};

constexpr EndingName kEndingNames[] = {
    {EngineEnding::kNotRun, "notRun", "not run"},
    {EngineEnding::kDone, "done", "done"},
    {EngineEnding::kLimit, "limit", "limit"},
    {EngineEnding::kUnreachable, "unreachable", "unreachable"},
    {EngineEnding::kTlsFailure, "tls", "TLS failure"},
    {EngineEnding::kHttpStatus, "http", "HTTP"},
    {EngineEnding::kTimedOut, "timeout", "timed out"},
    {EngineEnding::kBlocked, "blocked", "blocked"},
    {EngineEnding::kSuspended, "suspended", "suspended until"},
    {EngineEnding::kStopped, "stopped", "stopped"},
    {EngineEnding::kError, "error", "error"},
};

const EndingName& NameOf(EngineEnding ending) {
  for (const EndingName& name : kEndingNames) {
    if (name.ending == ending) return name;
  }
  return kEndingNames[std::size(kEndingNames) - 1];  // an ending this table lacks is an error
}

}  // namespace

std::string HttpStatusText(int httpStatus) {
  return std::string(NameOf(EngineEnding::kHttpStatus).text) + " " + std::to_string(httpStatus);
}

std::string EndingText(const EngineReport& r) {
  const std::string text = NameOf(r.ending).text;
  switch (r.ending) {
    case EngineEnding::kHttpStatus:
      return HttpStatusText(r.httpStatus);
    case EngineEnding::kBlocked: {
      std::string blocked = text + " (" + BlockLabel(r.block, r.blockStatus) + ")";
      if (r.suspendedUntil) blocked += ", suspended until " + LocalClockText(*r.suspendedUntil);
      return blocked;
    }
    case EngineEnding::kSuspended:
      return text + " " +
             (r.suspendedUntil ? LocalClockText(*r.suspendedUntil) : std::string("?")) + " (" +
             BlockLabel(r.block, r.blockStatus) + ")";
    case EngineEnding::kError:
      return r.detail.empty() ? text : text + ": " + r.detail;
    default:
      return text;
  }
}

std::string EngineSummary(const EngineReport& r) {
  auto count = [](int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  return count(r.results, "result") + ", " + count(r.pages, "page") + ", " + EndingText(r);
}

const char* EndingKey(EngineEnding ending) { return NameOf(ending).key; }

}  // namespace trovelane
