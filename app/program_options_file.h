// "trovelane.json": this program's own options, which "qmknet.dat" has no
// place for (docs/settings_file.md). A JSON object:
//
//   { "connectTimeoutSeconds": 5, "readTimeoutSeconds": 10, "maxPagesPerEngine": 50,
//     "watchChecksPerRun": 50, "validationsPerEngine": 10, "validationsPerSearch": 24,
//     "userAgent": "Mozilla/5.0 ...",
//     "resolve": [ "www.example.com:443:127.0.0.1" ],
//     "contact": "mailto:me@example.org",
//     "searxng": "https://search.team.example",
//     "hiddenDomains": [ "pinterest.com" ],
//     "domainFactors": { "wikipedia.org": 2, "example.com": 0.5 } }
//
// "validationsPerEngine" and "validationsPerSearch" bound the validation
// fetches that run at once, of one engine and of the whole search;
// "userAgent" is the User-Agent of every request whose engine names none;
// "resolve" sends connections to a host and port to another address, as
// curl's --resolve does (for tests: fixture servers under real host names);
// "contact" is the address an engine's User-Agent names where it asks for
// one; "searxng" is the team's SearXNG instance, which the SearXNG engine
// of the web profile searches; "hiddenDomains" are never listed; "domainFactors" raise (above 1) or
// lower (below 1) a domain's results in the rank order.
//
// A missing file or key means the default. Keys this version does not know
// are kept when the file is saved again, so a newer program's options survive
// an older one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "search/settings.h"

namespace trovelane {

inline constexpr const char* kProgramOptionsFileName = "trovelane.json";

// Largest values a user may set; larger ones are refused.
inline constexpr int32_t kMaxTimeoutSeconds = 3600;
inline constexpr int32_t kMaxPagesPerEngineLimit = 10000;
inline constexpr int32_t kMaxWatchChecksLimit = 10000;
inline constexpr int32_t kMaxValidationsLimit = 256;
inline constexpr size_t kMaxUserAgentBytes = 1023;

// OK when `userAgent` can be sent; else kInvalidArgument saying why (empty,
// too long, a control character).
Status CheckUserAgent(const std::string& userAgent);

// OK when `options` can be stored; else kInvalidArgument saying why (a value
// out of its range).
Status CheckProgramOptions(const ProgramOptions& options);

// The address of a SearXNG instance as the "searxng" option takes it: empty
// (none), or an http or https address without query or fragment. A refusal
// begins with `field`, the name the user knows the value by.
Status CheckInstanceAddress(const std::string& address, std::string_view field = "searxng");

// The contact address as the "contact" option takes it: at most 255 bytes,
// no control character. A refusal begins with `field`.
Status CheckContact(const std::string& contact, std::string_view field = "contact");

// A domain as the domain rules take it: letters, digits, "-" and "." only,
// not empty, at most 253 bytes. OK, or kInvalidArgument saying why.
Status CheckDomain(std::string_view domain);

// "a.com, b.org" (commas or blanks between) as a list of domains, each
// checked; an empty text is an empty list. kInvalidArgument naming the first
// one that is not a domain, and `domains` is left as it was.
Status ParseDomainList(std::string_view text, std::vector<std::string>* domains);
std::string FormatDomainList(const std::vector<std::string>& domains);

// "wikipedia.org=2, example.com=0.5" as a list of rank factors, each domain
// checked and each factor a number above 0 and at most 1000. kInvalidArgument
// naming the first entry that cannot be taken; `factors` is left as it was.
Status ParseDomainFactors(std::string_view text, std::vector<DomainFactor>* factors);
std::string FormatDomainFactors(const std::vector<DomainFactor>& factors);

struct ProgramOptionsLoad {
  bool fileRead = false;  // the file existed and was read
  // Why the file or a value in it was not taken, for the user: kIoError when
  // the file could not be read, kCorruption when it or some of its values
  // could not be taken (each named, joined by "; "). OK when all was.
  Status read;
};

// Resets `options` to the defaults and reads `path` over them. A value of the
// wrong type or out of range keeps its default and is named in `read`; a
// file that is not a JSON object is not read at all.
ProgramOptionsLoad LoadProgramOptions(const std::string& path, ProgramOptions& options);

// Writes every option (and the unknown keys that the file already holds) at
// once. Options that cannot be stored are kInvalidArgument ("cannot save
// PATH: why"), and nothing is written.
Status SaveProgramOptions(const std::string& path, const ProgramOptions& options);

}  // namespace trovelane
