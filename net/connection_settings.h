// The records of the program's settings that connections read: the proxy
// record (which proxy, if any, every connection goes through, and the
// credentials it asks for), stored as it stands in "qmknet.dat"
// (app/settings_file.h), which CHttpURL::Open reads during the call; and the
// program's own options: the connection time-outs and address overrides
// (CHttpURL::SetTimeouts) and the default User-Agent its callers send.
//
// Fields keep the raw 32-bit values of the file, so that a file from another
// layout loads as it stands; the named constants give their meaning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace trovelane {

enum ProxyType : int32_t { kProxyCern = 0, kProxySocks5 = 1 };

struct ProxySettings {
  int32_t enabled = 0;       // 1 = "Connect using a proxy server."
  std::string host;          // at most 1023 bytes in the file
  int32_t port = 0;
  int32_t type = kProxyCern;  // ProxyType
  int32_t requiresAuth = 0;   // 1 = "Requires Authentification"
  std::string credentials;    // Base64 of "user:password", at most 2047 bytes
  int32_t speedIndex = 0;     // position 0-9 in the connection speed list
  std::string browserPath;    // at most 1023 bytes
};

// The User-Agent of every request whose engine names none: a current desktop
// browser, since many engines answer an unknown client with a block page.
inline constexpr const char* kDefaultUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64; rv:140.0) Gecko/20100101 Firefox/140.0";

// "HOST:PORT:ADDR" (curl's --resolve): a connection to HOST on PORT goes to
// the numeric address ADDR instead of what HOST resolves to; the request, its
// Host line, TLS server name and certificate check still use HOST.
struct ResolveEntry {
  std::string host;     // compared without regard to case
  int32_t port = 0;     // 1..65535
  std::string address;  // numeric IPv4 or IPv6, without brackets

  bool operator==(const ResolveEntry&) const = default;
};

// The address that the User-Agent of an engine that asks for one names, so
// that the engine's operators can reach whoever runs the client: the
// program's own address unless the user gives theirs.
inline constexpr const char* kDefaultContact = "http://www.trovelane.example";

// A domain whose results rise or sink in the rank order: the score of a
// result on that domain or below it is multiplied by the factor.
struct DomainFactor {
  std::string domain;  // "example.com": example.com and every host below it
  double factor = 1;   // above 0

  bool operator==(const DomainFactor&) const = default;
};

// Settings of this program that "qmknet.dat" has no place for. They live in
// "trovelane.json" in the install folder (app/program_options_file.h), so
// that "qmknet.dat" keeps the exact layout the Windows version reads.
struct ProgramOptions {
  int32_t connectTimeoutSeconds = 5;  // a connection attempt; 0 = as long as the system allows
  int32_t readTimeoutSeconds = 10;    // silence while waiting for bytes; 0 = none
  int32_t maxPagesPerEngine = 50;     // result pages one engine may fetch in one search
  // Results a watch checks at most in one run for a page that is gone.
  int32_t maxWatchChecks = 50;
  // Validation fetches that run at once: of one engine's results (by
  // default a page's worth, so that the checks of a page run in one wave),
  // and in all (every engine of a search together; the results view's
  // Validate command has as many of its own).
  int32_t validationsPerEngine = 10;
  int32_t validationsPerSearch = 24;
  std::string userAgent = kDefaultUserAgent;  // sent when the engine names none; never empty
  // Address overrides, the first entry for a host and port counts. Only the
  // connection the program makes itself is redirected: through a proxy, an
  // entry for the proxy's host applies, and the server's name goes to the
  // proxy as it stands (the proxy resolves it).
  std::vector<ResolveEntry> resolve;
  // Filled into "{contact}" of an engine's User-Agent.
  std::string contact = kDefaultContact;
  // The address of the SearXNG instance the user searches ("https://host" or
  // "https://host/path"), filled into "{searxng}" of an engine's search URL;
  // empty: none is set, and such an engine is not searched.
  std::string searxng;
  // Results on these domains (or below them) are never listed, whichever
  // engine finds them.
  std::vector<std::string> hiddenDomains;
  // Rank factors by domain; the longest domain that holds a host counts.
  std::vector<DomainFactor> domainFactors;
};

// Whether `host` is `domain` or a host below it ("www.example.com" is below
// "example.com", "badexample.com" is not); any case. An empty domain holds
// no host.
bool HostInDomain(std::string_view host, std::string_view domain);

// Parses "HOST:PORT:ADDR" (ADDR an IPv4 address, or an IPv6 address in
// brackets or bare) into `*entry`; InvalidArgument saying what is wrong when
// it is not one, and `*entry` is left as it was.
Status ParseResolveEntry(std::string_view text, ResolveEntry* entry);
// "HOST:PORT:ADDR" again, IPv6 addresses in brackets.
std::string FormatResolveEntry(const ResolveEntry& entry);
// The address of the first entry for `host` and `port`; null when none.
const ResolveEntry* FindResolveEntry(const std::vector<ResolveEntry>& entries,
                                     std::string_view host, int32_t port);

}  // namespace trovelane
