#include "app/suspension_file.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/atomic_file.h"

namespace trovelane {
namespace {

using Json = nlohmann::ordered_json;

// A file of ours is small; anything larger is not one.
constexpr size_t kMaxFileSize = 1 << 20;

Status Damaged(const std::string& path, const std::string& why) {
  return Status::Corruption(path + " is damaged (" + why +
                            "); no engine is suspended until it is saved again.");
}

}  // namespace

Status LoadSuspensions(const std::string& path, EngineSuspensions& suspensions,
                       WallClock::time_point now) {
  suspensions.Clear();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Status::Ok();
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::IoError("Cannot read " + path + "; no engine is suspended.");
  std::string text;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (text.size() > kMaxFileSize) return Damaged(path, "larger than 1 MiB");

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
    s.until = WallClock::time_point(std::chrono::seconds(until->get<int64_t>()));
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
