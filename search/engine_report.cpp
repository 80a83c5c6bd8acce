#include "search/engine_report.h"

#include <ctime>

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

std::string EndingText(const EngineReport& r) {
  switch (r.ending) {
    case EngineEnding::kNotRun:
      return "not run";
    case EngineEnding::kDone:
      return "done";
    case EngineEnding::kLimit:
      return "limit";
    case EngineEnding::kUnreachable:
      return "unreachable";
    case EngineEnding::kTlsFailure:
      return "TLS failure";
    case EngineEnding::kHttpStatus:
      return "HTTP " + std::to_string(r.httpStatus);
    case EngineEnding::kTimedOut:
      return "timed out";
    case EngineEnding::kBlocked: {
      std::string text = "blocked (" + BlockLabel(r.block, r.blockStatus) + ")";
      if (r.suspendedUntil) text += ", suspended until " + LocalClockText(*r.suspendedUntil);
      return text;
    }
    case EngineEnding::kSuspended:
      return "suspended until " +
             (r.suspendedUntil ? LocalClockText(*r.suspendedUntil) : std::string("?")) + " (" +
             BlockLabel(r.block, r.blockStatus) + ")";
    case EngineEnding::kStopped:
      return "stopped";
    case EngineEnding::kError:
      return r.detail.empty() ? "error" : "error: " + r.detail;
  }
  return "?";
}

std::string EngineSummary(const EngineReport& r) {
  auto count = [](int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  return count(r.results, "result") + ", " + count(r.pages, "page") + ", " + EndingText(r);
}

const char* EndingKey(EngineEnding ending) {
  switch (ending) {
    case EngineEnding::kNotRun:
      return "notRun";
    case EngineEnding::kDone:
      return "done";
    case EngineEnding::kLimit:
      return "limit";
    case EngineEnding::kUnreachable:
      return "unreachable";
    case EngineEnding::kTlsFailure:
      return "tls";
    case EngineEnding::kHttpStatus:
      return "http";
    case EngineEnding::kTimedOut:
      return "timeout";
    case EngineEnding::kBlocked:
      return "blocked";
    case EngineEnding::kSuspended:
      return "suspended";
    case EngineEnding::kStopped:
      return "stopped";
    case EngineEnding::kError:
      return "error";
  }
  return "error";
}

}  // namespace trovelane
