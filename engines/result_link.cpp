#include "engines/result_link.h"

#include <vector>

#include "engines/html_scan.h"
#include "net/url.h"
#include "search/validation_fetch.h"

namespace trovelane {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool ListedNoCase(const std::vector<std::string>& list, std::string_view value) {
  for (const std::string& entry : list) {
    if (EqualsNoCase(entry, value)) return true;
  }
  return false;
}

// Whether `host` contains a non-empty entry of `domains`, any case. An empty
// entry names no domain; taken as text it would match every host.
bool HostIsSkipped(const std::vector<std::string>& domains, std::string_view host) {
  for (const std::string& domain : domains) {
    if (!domain.empty() && FindNoCase(host, domain) != kNotFound) return true;
  }
  return false;
}

// The text after the last "." of the path's last segment; "htm" without one.
std::string_view Extension(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash);
  const std::size_t dot = file.rfind('.');
  return dot == std::string_view::npos ? std::string_view("htm") : file.substr(dot + 1);
}

int Decide(const EngineDefinition& engine, LinkCheck& check, const std::string& url,
           const std::string& text) {
  check.validated = 0;
  check.autoAdded = false;
  if (ListedNoCase(engine.skippedUrls, url)) return 0;

  // The parser gives an empty text the path "/", and a text without scheme
  // no host: neither names a page to fetch.
  if (url.empty()) return 0;
  const Url parsed = ParseUrl(url);
  if (parsed.path.empty() || parsed.host.empty()) return 0;

  const std::string_view extension = Extension(parsed.path);
  const bool searched =
      parsed.path.back() == '/' || ListedNoCase(engine.searchedFileTypes, extension);

  const bool indirect = engine.linkType == INDIRECT;
  if (indirect) {
    if (url.find(engine.indirectLinkName) == std::string::npos) return 0;
  } else if (HostIsSkipped(engine.skippedDomains, parsed.host)) {
    return 0;
  }

  if (check.duplicates && check.duplicates->IsDuplicate(url, text)) return 0;

  if (!indirect && !searched) {
    if (!ListedNoCase(engine.autoAddFileTypes, extension)) return 0;
    check.autoAdded = true;
    check.relevance = kNoRelevance;
    return 1;
  }
  if (indirect && engine.searchedFileTypes.empty()) {
    check.autoAdded = true;
    check.relevance = kNoRelevance;
    return 1;
  }

  if (check.validationMode != kValidationVal && check.validationMode != kValidationValRel) {
    return 1;
  }
  check.validated = 1;
  check.relevance = 0;
  if (!check.expression || !check.settings) return 0;  // nothing to validate against
  CHttpURL ownConnection;
  CHttpURL& connection = check.validationConnection ? *check.validationConnection : ownConnection;
  return ValidationFetch(connection, url, *check.expression, *check.settings,
                         check.validationMode == kValidationValRel ? &check.relevance : nullptr,
                         check.status);
}

}  // namespace

void MakeAbsoluteLink(std::string_view searchUrl, std::string& link) {
  const bool rooted = !link.empty() && link.front() == '/';
  if (!rooted && (StartsWithNoCase(link, "http://") || StartsWithNoCase(link, "https://") ||
                  StartsWithNoCase(link, "ftp://"))) {
    return;
  }
  Url base;
  try {
    base = ParseUrl(searchUrl);
  } catch (const CMalformedURLException&) {
    link.clear();
    return;
  }
  std::string absolute = base.isFtp ? "ftp://" : base.isHttps ? "https://" : "http://";
  absolute += base.host;
  if (base.port != DefaultPort(base)) absolute += ":" + std::to_string(base.port);
  if (!rooted) absolute += '/';
  absolute += link;
  link = std::move(absolute);
}

int AcceptResultLink(const EngineDefinition& engine, LinkCheck& check, const std::string& url,
                     const std::string& text) {
  try {
    return Decide(engine, check, url, text);
  } catch (...) {
    // A malformed URL (CMalformedURLException), or no memory for it: the link
    // is dropped and the scan goes on with the next one.
    return 0;
  }
}

}  // namespace trovelane
