#include "app/program_options_file.h"

#include <nlohmann/json.hpp>

#include "platform/ascii.h"
#include "platform/small_file.h"

namespace trovelane {
namespace {

using Json = nlohmann::ordered_json;

struct Field {
  const char* key;
  int32_t ProgramOptions::*member;
  int32_t low;
  int32_t high;
};

constexpr Field kFields[] = {
    {"connectTimeoutSeconds", &ProgramOptions::connectTimeoutSeconds, 0, kMaxTimeoutSeconds},
    {"readTimeoutSeconds", &ProgramOptions::readTimeoutSeconds, 0, kMaxTimeoutSeconds},
    {"maxPagesPerEngine", &ProgramOptions::maxPagesPerEngine, 1, kMaxPagesPerEngineLimit},
    {"watchChecksPerRun", &ProgramOptions::maxWatchChecks, 0, kMaxWatchChecksLimit},
};

std::string Range(const Field& f) {
  return std::to_string(f.low) + ".." + std::to_string(f.high);
}

// Reads the whole file into `text`. kNotFound (no message) when it does not
// exist; kIoError, with the message for the user, when it cannot be read as
// a regular file of at most 1 MiB (the file is small by nature).
Status ReadWhole(const std::string& path, std::string& text) {
  Status read = ReadSmallFile(path, 1 << 20, text);
  if (read.ok() || read.code() == Status::Code::kNotFound) return read;
  return Status::IoError(read.message() + "; the defaults are used");
}

Json ParseObject(const std::string& text) {
  Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  return json.is_object() ? json : Json();
}

}  // namespace

Status CheckUserAgent(const std::string& userAgent) {
  if (userAgent.empty()) return Status::InvalidArgument("userAgent is empty");
  if (userAgent.size() > kMaxUserAgentBytes) {
    return Status::InvalidArgument("userAgent is longer than " +
                                   std::to_string(kMaxUserAgentBytes) + " bytes");
  }
  // trovelane.json is UTF-8 text, and so is what a header line may carry.
  if (!IsValidUtf8(userAgent)) return Status::InvalidArgument("userAgent is not UTF-8 text");
  for (char c : userAgent) {
    // It goes out as a header line as it stands.
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return Status::InvalidArgument("userAgent holds a control character");
    }
  }
  return Status::Ok();
}

Status CheckProgramOptions(const ProgramOptions& options) {
  for (const Field& f : kFields) {
    int32_t v = options.*f.member;
    if (v < f.low || v > f.high) {
      return Status::InvalidArgument(std::string(f.key) + " is " + std::to_string(v) +
                                     ", out of range " + Range(f));
    }
  }
  if (Status agent = CheckUserAgent(options.userAgent); !agent.ok()) return agent;
  for (const ResolveEntry& entry : options.resolve) {
    ResolveEntry parsed;
    if (Status read = ParseResolveEntry(FormatResolveEntry(entry), &parsed); !read.ok()) {
      return Status::InvalidArgument("resolve: " + read.message());
    }
  }
  return Status::Ok();
}

ProgramOptionsLoad LoadProgramOptions(const std::string& path, ProgramOptions& options) {
  ProgramOptionsLoad load;
  options = {};
  std::string text;
  if (Status read = ReadWhole(path, text); !read.ok()) {
    // A file that is not there is no problem: every option has its default.
    if (read.code() != Status::Code::kNotFound) load.read = read;
    return load;
  }
  Json json = ParseObject(text);
  if (json.is_null()) {
    load.read = Status::Corruption(path + " is not a JSON object; the defaults are used");
    return load;
  }
  load.fileRead = true;
  // Every value not taken is named; the user hears of all of them at once.
  std::string problems;
  auto complain = [&](const std::string& text) {
    if (!problems.empty()) problems += "; ";
    problems += path + ": " + text;
  };
  for (const Field& f : kFields) {
    auto it = json.find(f.key);
    if (it == json.end()) continue;
    if (it->is_number_integer() && *it >= f.low && *it <= f.high) {
      options.*f.member = it->get<int32_t>();
    } else {
      complain(std::string(f.key) + " must be a whole number in " + Range(f) + "; the default " +
               std::to_string(options.*f.member) + " is used");
    }
  }
  if (auto it = json.find("userAgent"); it != json.end()) {
    Status agent = it->is_string() ? CheckUserAgent(it->get<std::string>())
                                   : Status::InvalidArgument("userAgent must be a text");
    if (agent.ok()) {
      options.userAgent = it->get<std::string>();
    } else {
      complain(agent.message() + "; the default User-Agent is used");
    }
  }
  if (auto it = json.find("resolve"); it != json.end()) {
    if (!it->is_array()) {
      complain("resolve must be a list of \"HOST:PORT:ADDR\" texts; it is left out");
    } else {
      for (const Json& item : *it) {
        ResolveEntry entry;
        const Status read = item.is_string() ? ParseResolveEntry(item.get<std::string>(), &entry)
                                             : Status::InvalidArgument("an entry is not a text");
        if (read.ok()) {
          options.resolve.push_back(entry);
        } else {
          complain("resolve: " + read.message() + "; that entry is left out");
        }
      }
    }
  }
  if (!problems.empty()) load.read = Status::Corruption(problems);
  return load;
}

Status SaveProgramOptions(const std::string& path, const ProgramOptions& options) {
  if (Status checked = CheckProgramOptions(options); !checked.ok()) {
    return Status::InvalidArgument("cannot save " + path + ": " + checked.message());
  }
  // The unknown keys of the old file are kept. An old file that cannot be
  // read has none to keep; the save then replaces it whole.
  std::string old;
  const bool readable = ReadWhole(path, old).ok();
  Json json = readable ? ParseObject(old) : Json();
  if (json.is_null()) json = Json::object();
  for (const Field& f : kFields) json[f.key] = options.*f.member;
  json["userAgent"] = options.userAgent;
  // An empty list is not written, so that a file without overrides stays so.
  if (options.resolve.empty()) {
    json.erase("resolve");
  } else {
    Json list = Json::array();
    for (const ResolveEntry& entry : options.resolve) list.push_back(FormatResolveEntry(entry));
    json["resolve"] = list;
  }
  return WriteFileAtomically(path, json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

}  // namespace trovelane
