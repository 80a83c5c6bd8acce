#include "engines/result_link.h"

#include <algorithm>
#include <vector>

#include "engines/anchor_parser.h"
#include "engines/html_scan.h"
#include "engines/page_marker.h"
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

bool LinkNamesHost(std::string_view link) {
  return StartsWithNoCase(link, "http://") || StartsWithNoCase(link, "https://") ||
         StartsWithNoCase(link, "ftp://") || link.substr(0, 2) == "//";
}

void MakeAbsoluteLink(std::string_view searchUrl, std::string& link) {
  const bool rooted = !link.empty() && link.front() == '/';
  if (!rooted && LinkNamesHost(link)) return;
  Url base;
  if (!ParseUrl(searchUrl, &base).ok()) {
    link.clear();
    return;
  }
  std::string absolute = base.isFtp ? "ftp://" : base.isHttps ? "https://" : "http://";
  if (link.substr(0, 2) == "//") {
    // Protocol-relative: the host is the link's own.
    link = absolute.substr(0, absolute.size() - 2) + link;
    return;
  }
  absolute += base.host;
  if (base.port != DefaultPort(base)) absolute += ":" + std::to_string(base.port);
  if (!rooted) absolute += '/';
  absolute += link;
  link = std::move(absolute);
}

ResultList FindResultList(std::string_view page, const EngineExtensions& web) {
  ResultList list{0, page.size()};
  const PageMarker start = ParsePageMarker(web.resultListStart);
  if (!start.empty()) {
    const MarkerHit hit = FindPageMarker(page, start);
    if (!hit.found()) return {page.size(), page.size()};
    list.begin = hit.end;
  }
  const PageMarker end = ParsePageMarker(web.resultListEnd);
  if (!end.empty()) {
    const MarkerHit hit = FindPageMarker(page, end, list.begin);
    if (hit.found()) list.end = hit.begin;
  } else if (start.NamesElement()) {
    // The list is the start element's content.
    list.end = ElementContentEnd(page, list.begin, start.element);
  }
  return list;
}

std::string PercentDecode(std::string_view text) {
  const auto hex = HexDigitValue;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

RedirectLink UnwrapRedirectLink(std::string& link, std::string_view parameter) {
  if (parameter.empty()) return RedirectLink::kNotRedirect;
  const std::size_t mark = link.find('?');
  if (mark == std::string::npos) return RedirectLink::kNotRedirect;
  std::string_view query = std::string_view(link).substr(mark + 1);
  query = query.substr(0, query.find('#'));
  for (std::size_t from = 0; from <= query.size();) {
    const std::size_t amp = query.find('&', from);
    const std::string_view pair =
        query.substr(from, amp == std::string_view::npos ? std::string_view::npos : amp - from);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == parameter) {
      std::string target = PercentDecode(pair.substr(equals + 1));
      const bool web = StartsWithNoCase(target, "http://") ||
                       StartsWithNoCase(target, "https://") || target.substr(0, 2) == "//";
      const bool clean = std::none_of(target.begin(), target.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
      });
      if (!web || !clean || target.size() > kMaxLinkLength) return RedirectLink::kRefused;
      link = std::move(target);
      return RedirectLink::kUnwrapped;
    }
    if (amp == std::string_view::npos) break;
    from = amp + 1;
  }
  return RedirectLink::kNotRedirect;
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
    if (ListedNoCase(engine.autoAddFileTypes, extension)) return LinkVerdict::kAutoAdd;
    return engine.web.anyFileType ? LinkVerdict::kSearched : LinkVerdict::kNotSearched;
  }
  if (indirect && engine.searchedFileTypes.empty()) return LinkVerdict::kAutoAdd;
  return LinkVerdict::kSearched;
}

}  // namespace trovelane
