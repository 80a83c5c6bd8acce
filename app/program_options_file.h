// "trovelane.json": this program's own options, which "qmknet.dat" has no
// place for (docs/settings_file.md). A JSON object:
//
//   { "connectTimeoutSeconds": 5, "readTimeoutSeconds": 10, "maxPagesPerEngine": 50,
//     "userAgent": "Mozilla/5.0 ...",
//     "resolve": [ "www.example.com:443:127.0.0.1" ] }
//
// "userAgent" is the User-Agent of every request whose engine names none;
// "resolve" sends connections to a host and port to another address, as
// curl's --resolve does (for tests: fixture servers under real host names).
//
// A missing file or key means the default. Keys this version does not know
// are kept when the file is saved again, so a newer program's options survive
// an older one.
#pragma once

#include <string>

#include "search/settings.h"
#include "platform/atomic_file.h"

namespace trovelane {

inline constexpr const char* kProgramOptionsFileName = "trovelane.json";

// Largest values a user may set; larger ones are refused.
inline constexpr int32_t kMaxTimeoutSeconds = 3600;
inline constexpr int32_t kMaxPagesPerEngineLimit = 10000;
inline constexpr size_t kMaxUserAgentBytes = 1023;

// Why `userAgent` cannot be sent (empty, too long, a control character);
// empty when it can.
std::string CheckUserAgent(const std::string& userAgent);

// Why `options` cannot be stored (a value out of its range); empty when it can.
std::string CheckProgramOptions(const ProgramOptions& options);

struct ProgramOptionsLoad {
  bool fileRead = false;  // the file existed and was read
  std::string problem;    // why the file or a value in it was not taken; empty when all was
};

// Resets `options` to the defaults and reads `path` over them. A value of the
// wrong type or out of range keeps its default and is named in `problem`; a
// file that is not a JSON object is not read at all.
ProgramOptionsLoad LoadProgramOptions(const std::string& path, ProgramOptions& options);

// Writes every option (and the unknown keys that the file already holds) at once.
SaveResult SaveProgramOptions(const std::string& path, const ProgramOptions& options);

}  // namespace trovelane
