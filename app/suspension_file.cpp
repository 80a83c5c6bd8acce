#include "app/suspension_file.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/small_file.h"

namespace trovelane {
namespace {

using Json = nlohmann::ordered_json;

// A file of ours is small; anything larger is not one.
constexpr size_t kMaxFileSize = 1 << 20;

Status Damaged(const std::string& path, const std::string& why) {
  return Status::Corruption(path + " is damaged (" + why +
                            "); no engine is suspended until it is saved again.");
}

// Seconds since 1970 as a time of the clock, which counts in far finer units:
// a time beyond what it can hold (a suspension "for ever") is its last one.
WallClock::time_point ClockTimeFromSeconds(int64_t seconds) {
  using std::chrono::duration_cast;
  constexpr int64_t kLatest = duration_cast<std::chrono::seconds>(WallClock::duration::max()).count();
  constexpr int64_t kEarliest = duration_cast<std::chrono::seconds>(WallClock::duration::min()).count();
  return WallClock::time_point(std::chrono::seconds(std::clamp(seconds, kEarliest, kLatest)));
}

}  // namespace

Status LoadSuspensions(const std::string& path, EngineSuspensions& suspensions,
                       WallClock::time_point now) {
  suspensions.Clear();
  std::string text;
  if (Status read = ReadSmallFile(path, kMaxFileSize, text); !read.ok()) {
    if (read.code() == Status::Code::kNotFound) return Status::Ok();
    return Status::IoError(read.message() + "; no engine is suspended.");
  }

  const Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return Damaged(path, "not a JSON object");
  auto list = json.find("suspensions");
  if (list == json.end()) return Status::Ok();
  if (!list->is_array()) return Damaged(path, "\"suspensions\" is not a list");

  EngineSuspensions read;
  for (const Json& entry : *list) {
    if (!entry.is_object()) return Damaged(path, "an entry is not an object");
    auto engine = entry.find("engine");
    auto until = entry.find("until");
    auto block = entry.find("block");
    if (engine == entry.end() || !engine->is_string() || until == entry.end() ||
        !until->is_number_integer() || block == entry.end() || !block->is_string()) {
      return Damaged(path, "an entry lacks its engine, until or block");
    }
    Suspension s;
    s.engineName = engine->get<std::string>();
    s.until = ClockTimeFromSeconds(
        until->is_number_unsigned()
            ? static_cast<int64_t>(std::min<uint64_t>(until->get<uint64_t>(), INT64_MAX))
            : until->get<int64_t>());
    const std::string kind = block->get<std::string>();
    if (kind == "captcha") {
      s.kind = BlockKind::kCaptcha;
    } else if (kind == "http") {
      s.kind = BlockKind::kHttpStatus;
      auto status = entry.find("status");
      if (status == entry.end() || !status->is_number_integer() || *status < 100 ||
          *status > 999) {
        return Damaged(path, "an HTTP block lacks its status");
      }
      s.httpStatus = status->get<int>();
    } else {
      return Damaged(path, "unknown block \"" + kind + "\"");
    }
    if (s.until > now) read.Suspend(s);
  }
  suspensions = std::move(read);
  return Status::Ok();
}

Status SaveSuspensions(const std::string& path, const EngineSuspensions& suspensions,
                       WallClock::time_point now) {
  Json list = Json::array();
  for (const Suspension& s : suspensions.all()) {
    if (s.until <= now) continue;
    Json entry = {{"engine", s.engineName},
                  {"until", std::chrono::duration_cast<std::chrono::seconds>(
                                s.until.time_since_epoch())
                                .count()},
                  {"block", s.kind == BlockKind::kCaptcha ? "captcha" : "http"}};
    if (s.kind == BlockKind::kHttpStatus) entry["status"] = s.httpStatus;
    list.push_back(std::move(entry));
  }
  Json json = {{"suspensions", std::move(list)}};
  Status saved = WriteFileAtomically(
      path, json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
  if (!saved.ok()) return Status::IoError(saved.message());
  return Status::Ok();
}

}  // namespace trovelane
