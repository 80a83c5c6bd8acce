#include "engines/result_link.h"

#include <vector>

#include "engines/html_scan.h"
#include "net/url.h"

namespace trovelane {
namespace {

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

}  // namespace

void MakeAbsoluteLink(std::string_view searchUrl, std::string& link) {
  const bool rooted = !link.empty() && link.front() == '/';
  if (!rooted && (StartsWithNoCase(link, "http://") || StartsWithNoCase(link, "https://") ||
                  StartsWithNoCase(link, "ftp://"))) {
    return;
  }
  Url base;
  if (!ParseUrl(searchUrl, &base).ok()) {
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

LinkVerdict ApplyLinkRules(const EngineDefinition& engine, const std::string& url) {
  if (ListedNoCase(engine.skippedUrls, url)) return LinkVerdict::kRejected;

  // The parser gives an empty text the path "/", and a text without scheme
  // no host: neither names a page to fetch.
  if (url.empty()) return LinkVerdict::kRejected;
  Url parsed;
  if (!ParseUrl(url, &parsed).ok()) return LinkVerdict::kRejected;
  if (parsed.path.empty() || parsed.host.empty()) return LinkVerdict::kRejected;

  const std::string_view extension = Extension(parsed.path);
  const bool searched =
      parsed.path.back() == '/' || ListedNoCase(engine.searchedFileTypes, extension);

  const bool indirect = engine.linkType == INDIRECT;
  if (indirect) {
    if (url.find(engine.indirectLinkName) == std::string::npos) return LinkVerdict::kRejected;
  } else if (HostIsSkipped(engine.skippedDomains, parsed.host)) {
    return LinkVerdict::kRejected;
  }

  if (!indirect && !searched) {
    return ListedNoCase(engine.autoAddFileTypes, extension) ? LinkVerdict::kAutoAdd
                                                            : LinkVerdict::kNotSearched;
  }
  if (indirect && engine.searchedFileTypes.empty()) return LinkVerdict::kAutoAdd;
  return LinkVerdict::kSearched;
}

}  // namespace trovelane
