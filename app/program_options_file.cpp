#include "app/program_options_file.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <system_error>

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
};

std::string Range(const Field& f) {
  return std::to_string(f.low) + ".." + std::to_string(f.high);
}

// Reads the whole file into `text`. False when it does not exist (`exists`
// false) or cannot be read as a regular file (`problem` says why).
bool ReadWhole(const std::string& path, std::string& text, bool& exists, std::string& problem) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  exists = !ec && std::filesystem::exists(status);
  if (!exists) return false;
  if (!std::filesystem::is_regular_file(status)) {
    problem = path + " is not a regular file; the defaults are used";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problem = "cannot read " + path + "; the defaults are used";
    return false;
  }
  // The file is small by nature; a huge one is not ours.
  constexpr size_t kMaxSize = 1 << 20;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (text.size() > kMaxSize) {
    problem = path + " is larger than 1 MiB; the defaults are used";
    return false;
  }
  return true;
}

Json ParseObject(const std::string& text) {
  Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  return json.is_object() ? json : Json();
}

}  // namespace

std::string CheckUserAgent(const std::string& userAgent) {
  if (userAgent.empty()) return "userAgent is empty";
  if (userAgent.size() > kMaxUserAgentBytes) {
    return "userAgent is longer than " + std::to_string(kMaxUserAgentBytes) + " bytes";
  }
  for (char c : userAgent) {
    // It goes out as a header line as it stands.
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return "userAgent holds a control character";
    }
  }
  return {};
}

std::string CheckProgramOptions(const ProgramOptions& options) {
  for (const Field& f : kFields) {
    int32_t v = options.*f.member;
    if (v < f.low || v > f.high) {
      return std::string(f.key) + " is " + std::to_string(v) + ", out of range " + Range(f);
    }
  }
  if (std::string why = CheckUserAgent(options.userAgent); !why.empty()) return why;
  for (const ResolveEntry& entry : options.resolve) {
    ResolveEntry parsed;
    std::string why;
    if (!ParseResolveEntry(FormatResolveEntry(entry), parsed, why)) return "resolve: " + why;
  }
  return {};
}

ProgramOptionsLoad LoadProgramOptions(const std::string& path, ProgramOptions& options) {
  ProgramOptionsLoad load;
  options = {};
  std::string text;
  bool exists = false;
  if (!ReadWhole(path, text, exists, load.problem)) return load;
  Json json = ParseObject(text);
  if (json.is_null()) {
    load.problem = path + " is not a JSON object; the defaults are used";
    return load;
  }
  load.fileRead = true;
  for (const Field& f : kFields) {
    auto it = json.find(f.key);
    if (it == json.end()) continue;
    if (it->is_number_integer() && *it >= f.low && *it <= f.high) {
      options.*f.member = it->get<int32_t>();
    } else {
      if (!load.problem.empty()) load.problem += "; ";
      load.problem += path + ": " + f.key + " must be a whole number in " + Range(f) +
                      "; the default " + std::to_string(options.*f.member) + " is used";
    }
  }
  auto complain = [&](const std::string& text) {
    if (!load.problem.empty()) load.problem += "; ";
    load.problem += path + ": " + text;
  };
  if (auto it = json.find("userAgent"); it != json.end()) {
    std::string why = it->is_string() ? CheckUserAgent(it->get<std::string>())
                                      : std::string("userAgent must be a text");
    if (why.empty()) {
      options.userAgent = it->get<std::string>();
    } else {
      complain(why + "; the default User-Agent is used");
    }
  }
  if (auto it = json.find("resolve"); it != json.end()) {
    if (!it->is_array()) {
      complain("resolve must be a list of \"HOST:PORT:ADDR\" texts; it is left out");
    } else {
      for (const Json& item : *it) {
        ResolveEntry entry;
        std::string why = "an entry is not a text";
        if (item.is_string() && ParseResolveEntry(item.get<std::string>(), entry, why)) {
          options.resolve.push_back(entry);
        } else {
          complain("resolve: " + why + "; that entry is left out");
        }
      }
    }
  }
  return load;
}

SaveResult SaveProgramOptions(const std::string& path, const ProgramOptions& options) {
  std::string why = CheckProgramOptions(options);
  if (!why.empty()) return {false, "cannot save " + path + ": " + why};
  std::string old;
  bool exists = false, readable = false;
  std::string ignored;
  readable = ReadWhole(path, old, exists, ignored);
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
  return WriteFileAtomically(path, json.dump(2) + "\n");
}

}  // namespace trovelane
