#include "search/engine_loop.h"

#include <unistd.h>

#include <limits>
#include <unordered_set>
#include <vector>

#include "engines/anchor_parser.h"
#include "engines/form_values.h"
#include "engines/html_scan.h"
#include "engines/page_marker.h"
#include "engines/result_link.h"
#include "net/http_url.h"
#include "net/url.h"
#include "search/accept_link.h"
#include "search/engine_run_context.h"
#include "search/engine_suspension.h"
#include "search/request_builder.h"
#include "search/search_status.h"
#include "search/search_worker.h"

namespace trovelane {
namespace {

bool IsAutoTechnique(int technique) { return technique == AUTO_1 || technique == AUTO_2; }

// The number the next page's link carries, or -1 when no link decides.
long long NextPageValue(const EngineDefinition& engine, int pageOffset, int pageIndex) {
  switch (engine.iterationTechnique) {
    case RESULT_PLUS_0:
      return static_cast<long long>(pageOffset) + engine.resultsPerPage;
    case RESULT_PLUS_1:
      return static_cast<long long>(pageOffset) + engine.resultsPerPage + 1;
    case RELATIVE_0:
      return static_cast<long long>(pageIndex) + 1;
    case RELATIVE_1:
      return static_cast<long long>(pageIndex) + 2;
    default:
      return -1;
  }
}

// The value of the leading decimal digits ("10n" is 10); 0 when there are none.
long long LeadingNumber(std::string_view text) {
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    if (value > std::numeric_limits<long long>::max() / 10 - 10) return -1;  // no page has it
    value = value * 10 + (c - '0');
  }
  return value;
}

// Where the query pair that starts at `from` ends: at the next '&' or the
// next engine separator, whichever comes first. Sets `skip` to the length of
// what ended it.
size_t PairEnd(std::string_view query, size_t from, const std::string& separator, size_t& skip) {
  size_t amp = query.find('&', from);
  size_t sep = separator.empty() ? std::string_view::npos : query.find(separator, from);
  if (sep != std::string_view::npos && (amp == std::string_view::npos || sep < amp)) {
    skip = separator.size();
    return sep;
  }
  skip = 1;
  return amp;
}

// Any RESULT_POSITION parameter whose value the last page did not carry.
bool PositionMissing(const EngineDefinition& engine) {
  for (const EngineParameter& p : engine.parameters) {
    if (p.roleCode == RESULT_POSITION && !p.found) return true;
  }
  return false;
}

enum class Download { kOk, kStopped, kTooLarge, kSpoolFailed, kCut };

// Streams the open connection's body through the spool file and reads it
// back whole; a body above kMaxResultPageBytes is not read further.
Download DownloadPage(EngineRunContext& worker, std::vector<char>& buffer, std::string& page) {
  if (!worker.CreateSpoolFile()) {
    return worker.cancelled() ? Download::kStopped : Download::kSpoolFailed;
  }
  Download outcome = Download::kOk;
  size_t total = 0;
  for (;;) {
    int n = worker.connection().Read(buffer.data(), kPageReadSize);
    if (n < 1) break;
    if (static_cast<size_t>(n) > kMaxResultPageBytes - total) {
      outcome = Download::kTooLarge;
      break;
    }
    total += static_cast<size_t>(n);
    if (!worker.AppendToSpoolFile(buffer.data(), static_cast<size_t>(n))) {
      outcome = Download::kSpoolFailed;
      break;
    }
  }
  // A body cut short (of its Content-Length, by a reset or a time-out) or
  // broken in its coding is not a page; one that inflates beyond the bound
  // is a page too large.
  if (outcome == Download::kOk && worker.connection().GetReadFailure() == ReadFailure::kTooLarge) {
    outcome = Download::kTooLarge;
  } else if (outcome == Download::kOk &&
             worker.connection().GetReadFailure() != ReadFailure::kNone) {
    outcome = Download::kCut;
  }
  // Closes and deletes the file either way; reads it back only when whole.
  const bool read = worker.FinishSpoolFile(outcome == Download::kOk, page, kMaxResultPageBytes);
  if (worker.cancelled()) return Download::kStopped;
  if (outcome == Download::kOk && !read) outcome = Download::kSpoolFailed;
  return outcome;
}

// An engine that ends because its server fell silent says so on its row.
void ReportTimeOut(EngineRunContext& worker) {
  if (worker.connection().TimedOut() && !worker.cancelled()) worker.SendStatus(kStatusTimedOut);
}

// The ending of an engine whose request could not be opened.
void EndOnOpenFailure(EngineRunContext& worker) {
  const CHttpURL& connection = worker.connection();
  switch (connection.GetFailure()) {
    case OpenFailure::kResolve:
    case OpenFailure::kConnect:
    case OpenFailure::kProxy:
      worker.End(EngineEnding::kUnreachable);
      break;
    case OpenFailure::kTls:
      worker.End(EngineEnding::kTlsFailure);
      break;
    case OpenFailure::kTimedOut:
      worker.End(EngineEnding::kTimedOut);
      break;
    case OpenFailure::kCancelled:
    case OpenFailure::kNone:
      worker.End(worker.cancelled() ? EngineEnding::kStopped : EngineEnding::kUnreachable);
      break;
    case OpenFailure::kHeadTooLarge:
      worker.End(EngineEnding::kError, "the answer's head is too large");
      break;
    case OpenFailure::kInsecureRedirect:
      worker.End(EngineEnding::kError, "redirected from https to http");
      break;
    case OpenFailure::kNotHttp:
      worker.End(EngineEnding::kError, "not an HTTP address");
      break;
    case OpenFailure::kMalformedRedirect:
      worker.End(EngineEnding::kError, "malformed address");
      break;
  }
}

// The ending of an engine whose page download failed.
void EndOnDownloadFailure(EngineRunContext& worker, Download download,
                          const std::string& spoolText) {
  switch (download) {
    case Download::kOk:
      return;
    case Download::kStopped:
      worker.End(EngineEnding::kStopped);
      return;
    case Download::kTooLarge:
      worker.End(EngineEnding::kError, kStatusPageTooLarge);
      return;
    case Download::kSpoolFailed:
      worker.End(EngineEnding::kError, spoolText);
      return;
    case Download::kCut:
      if (worker.connection().GetReadFailure() == ReadFailure::kTimedOut) {
        worker.End(EngineEnding::kTimedOut);
      } else if (worker.connection().GetReadFailure() == ReadFailure::kCancelled) {
        worker.End(EngineEnding::kStopped);
      } else {
        worker.End(EngineEnding::kError, "the page was cut short");
      }
      return;
  }
}

void EndBlocked(EngineRunContext& worker, BlockKind kind, int httpStatus) {
  worker.UpdateReport([&](EngineReport& r) {
    if (r.ending != EngineEnding::kNotRun) return;
    r.ending = EngineEnding::kBlocked;
    r.block = kind;
    r.blockStatus = kind == BlockKind::kHttpStatus ? httpStatus : 0;
  });
}

// The identity of a request: a POST sends its body to the same URL.
std::string RequestKey(const EngineRequest& request) { return request.url + '\n' + request.body; }

// The cookie pages, in order; an ill-formed address is skipped. They carry
// the engine's preset cookies, if it has any, and no others.
void VisitCookiePages(EngineRunContext& worker, const EngineDefinition& engine,
                      std::string& cookieText) {
  cookieText.clear();
  const std::string& preset = engine.web.cookies;
  for (const std::string& cookieUrl : engine.cookieUrls) {
    if (worker.cancelled()) return;
    worker.SendStatus(FormatStatus(kStatusConnecting, cookieUrl));
    CHttpURL& connection = worker.connection();
    // An ill-formed address, or redirect target, skips this cookie page.
    if (connection.SetURL(cookieUrl, false).ok()) {
      if (!preset.empty()) connection.cookieToSend = preset.c_str();
      connection.cookieSink = &cookieText;
      // Whatever the visit gave, the search goes on: the cookies are a help.
      (void)connection.Open(worker.settings().program.userAgent.c_str(), engine.referer.c_str(),
                            nullptr, &worker.settings().proxy);
    }
    connection.Close();
  }
}

}  // namespace

void RunEngineLoop(EngineRunContext& worker, EngineDefinition& engine) {
  CHttpURL& connection = worker.connection();
  PageMemory& memory = worker.pageMemory();
  if (Status paging = CheckPaging(engine); !paging.ok()) {
    worker.End(EngineEnding::kError, paging.message());
    worker.SendStatus(paging.message());
    return;
  }
  if (Status address = FillInstanceAddress(engine, worker.settings().program); !address.ok()) {
    worker.End(EngineEnding::kError, address.message());
    worker.SendStatus(address.message());
    return;
  }
  // Every request to the engine's server carries what its definition asks
  // for, within its own time-outs; the validation fetches of its results
  // carry its User-Agent and protocol choices only.
  connection.SetRequestOptions(EngineRequestOptions(engine, worker.settings().program));
  connection.SetTimeouts(EngineTimeouts(worker.settings().program, engine.web));
  worker.validationConnection().SetRequestOptions(
      ValidationRequestOptions(engine, worker.settings().program));

  std::string cookieText;
  VisitCookiePages(worker, engine, cookieText);

  engine.stopRequested = false;
  memory.ownLinks.clear();
  int pageIndex = 0;
  const int maxPages = worker.settings().program.maxPagesPerEngine > 0
                           ? worker.settings().program.maxPagesPerEngine
                           : ProgramOptions{}.maxPagesPerEngine;
  std::string requestUrl;
  std::string previousUrl;
  std::unordered_set<std::string> sentRequests;
  std::vector<char> buffer(kPageReadSize);
  const bool isAuto = IsAutoTechnique(engine.iterationTechnique);
  while (!worker.cancelled()) {
    const int pageOffset = PageOffset(engine, pageIndex);
    const int iterationValue = IterationValue(engine, pageIndex);
    previousUrl = requestUrl;
    EngineRequest request = BuildRequest(engine, worker.expression(), iterationValue);
    if (!request.ok()) {
      worker.End(EngineEnding::kError, "the request does not fit");
      break;
    }
    if (!sentRequests.insert(RequestKey(request)).second) {
      worker.End(EngineEnding::kDone);
      worker.SendStatus(kStatusRepeatedRequest);
      break;
    }
    requestUrl = request.url;

    worker.SendStatus(FormatStatus(kStatusConnecting, requestUrl));
    if (!connection.SetURL(requestUrl, engine.method == POST).ok()) {
      worker.End(EngineEnding::kError, "malformed address");
      break;
    }
    // The text sent is a copy: the sink may replace the cookie text while
    // a redirect still sends it. The server's cookies go over the preset ones.
    const std::string cookieSent = MergeCookies(engine.web.cookies, cookieText);
    if (!cookieSent.empty()) connection.cookieToSend = cookieSent.c_str();
    if (engine.requiresCookies) connection.cookieSink = &cookieText;
    // An empty referer sends none (a null one would keep the last).
    const char* referer = !engine.referer.empty() ? engine.referer.c_str()
                          : pageIndex != 0        ? previousUrl.c_str()
                                                  : "";
    const char* body = engine.method == POST ? request.body.c_str() : nullptr;
    if (!connection.Open(worker.settings().program.userAgent.c_str(), referer, body,
                         &worker.settings().proxy)) {
      EndOnOpenFailure(worker);
      ReportTimeOut(worker);
      break;
    }
    connection.cookieToSend = nullptr;
    const bool answered = connection.HasStatusLine();
    const int httpStatus = answered ? connection.GetStatus() : 0;
    worker.UpdateReport([&](EngineReport& r) {
      r.httpStatus = httpStatus;
      r.reached = r.reached || answered;
    });

    worker.SendStatus(FormatStatus(kStatusConnected, requestUrl));
    worker.SendStatus(FormatStatus(kStatusRetrieving, connection.GetPath()));
    std::string page;
    const Download download = DownloadPage(worker, buffer, page);
    const std::string spoolText =
        FormatStatus(kStatusSpoolFailed, SpoolFilePath(worker.workFolder(), gettid()).string());
    EndOnDownloadFailure(worker, download, spoolText);
    if (download == Download::kTooLarge) worker.SendStatus(kStatusPageTooLarge);
    if (download == Download::kSpoolFailed) worker.SendStatus(spoolText);
    if (download == Download::kCut) ReportTimeOut(worker);
    if (download != Download::kOk || worker.cancelled()) break;
    worker.UpdateReport([&](EngineReport& r) {
      ++r.pages;
      r.bytes += static_cast<long long>(page.size());
      r.nextPage = false;
    });
    // A server that closed without a word gave no page to scan.
    if (!answered && page.empty()) {
      worker.End(EngineEnding::kUnreachable);
      break;
    }
    // A block page is not scanned: its links are the block's, not results.
    if (const BlockKind block = DetectBlock(engine, httpStatus, page, connection.GetHead());
        block != BlockKind::kNone) {
      EndBlocked(worker, block, httpStatus);
      worker.SendStatus("Blocked (" + BlockLabel(block, httpStatus) + ")");
      break;
    }
    // Nor is an error page (404, 500...): its links are the server's.
    if (answered && (httpStatus < 200 || httpStatus > 299)) {
      worker.End(EngineEnding::kHttpStatus);
      worker.SendStatus("HTTP " + std::to_string(httpStatus));
      break;
    }
    worker.SendStatus(kStatusParsing);

    if (isAuto) HarvestFormValues(engine, page);
    const bool found = ScanResultPage(page, pageOffset, pageIndex, engine, worker);
    // An engine that accepts a request with 202 and lists nothing on it
    // is holding the client off (a rate-limit page).
    if (httpStatus == 202 && memory.candidatesOnPage == 0 && !worker.cancelled()) {
      EndBlocked(worker, BlockKind::kHttpStatus, httpStatus);
      worker.SendStatus("Blocked (" + BlockLabel(BlockKind::kHttpStatus, httpStatus) + ")");
      break;
    }
    const bool more = found || (isAuto && !PositionMissing(engine));
    worker.UpdateReport([&](EngineReport& r) { r.nextPage = more && !engine.stopRequested; });
    if (engine.stopRequested) {
      worker.End(EngineEnding::kLimit);
      break;
    }
    if (!more || worker.cancelled()) break;
    // A next page is asked for only when this one brought something new.
    if (memory.newLinksOnPage == 0) {
      worker.End(EngineEnding::kDone);
      worker.SendStatus(kStatusNoNewResults);
      break;
    }
    if (pageIndex + 1 >= maxPages) {
      worker.End(EngineEnding::kLimit);
      worker.SendStatus(FormatStatus(kStatusPageLimit, std::to_string(pageIndex + 1)));
      break;
    }
    pageIndex += 1;
  }
  if (connection.IsConnected()) connection.Close();
  worker.End(worker.cancelled() ? EngineEnding::kStopped : EngineEnding::kDone);
}

bool ScanResultPage(std::string_view page, int pageOffset, int pageIndex, EngineDefinition& engine,
                    EngineRunContext& worker) {
  PageMemory& memory = worker.pageMemory();
  bool nextFound = false;
  int perEngineCount = PageOffset(engine, pageIndex);
  memory.newLinksOnPage = 0;
  memory.candidatesOnPage = 0;

  LinkCheck check;
  check.duplicates = &worker.duplicates();
  check.validationMode = worker.validationMode();
  check.expression = &worker.expression();
  check.settings = &worker.settings();
  check.validationConnection = &worker.validationConnection();
  check.status = [&worker](const std::string& text) { worker.SendStatus(text); };

  const EngineExtensions& web = engine.web;
  const ResultList resultList = FindResultList(page, web);
  const PageMarker heading = ParsePageMarker(web.resultAnchorAfter);
  std::vector<PageMarker> skipped;
  for (const std::string& block : web.skippedBlocks) skipped.push_back(ParsePageMarker(block));
  SkippedBlocks skippedBlocks(page, skipped);
  size_t pos = 0;
  std::string link;
  std::string title;
  AnchorPageMemo memo;
  while (pos < page.size()) {
    if (worker.cancelled()) return false;
    size_t at = FindNoCase(page.substr(pos), "<A");
    if (at == kNotFound) break;
    at += pos;
    size_t tagEnd = 0;
    size_t used = ParseAnchor(page, at, link, title, memo, &tagEnd);
    if (used == 0) {
      pos = at + 1;
      continue;
    }
    pos = at + used;
    const bool untitled = title.empty();
    if (untitled) title = link;
    const bool namesHost = LinkNamesHost(link);

    worker.SendStatus(FormatStatus(kStatusCheckingUrl, link, ""));
    MakeAbsoluteLink(engine.searchUrl, link);
    // The next-page link is looked for anywhere on the page; the rules of
    // where results stand apply to results only.
    if (link.find('?') != std::string::npos &&
        IsNextPageLink(link, pageOffset, pageIndex, engine)) {
      nextFound = true;
      continue;
    }
    if (!resultList.Holds(at)) continue;
    if (skippedBlocks.Holds(at)) continue;
    if (!MarkerStandsBefore(page, at, heading)) continue;
    if (!web.resultClass.empty() && !TagHasClass(page.substr(at, tagEnd - at), web.resultClass)) {
      continue;
    }
    bool unwrapped = false;
    if (!web.redirectParameter.empty()) {
      const RedirectLink redirect = UnwrapRedirectLink(link, web.redirectParameter);
      if (redirect == RedirectLink::kRefused) continue;
      if (redirect == RedirectLink::kUnwrapped) {
        unwrapped = true;
        MakeAbsoluteLink(engine.searchUrl, link);
        if (untitled) title = link;
      }
    }
    // An engine whose results are ordinary web addresses links to its own
    // pages (help, settings, advertisements) without a host, unless its
    // results are its own pages.
    if (web.anyFileType && !web.ownPages && !namesHost && !unwrapped) continue;
    const bool newLink = memory.ownLinks.insert(link).second;
    if (newLink) ++memory.newLinksOnPage;

    if (worker.LimitReached(perEngineCount)) {
      engine.stopRequested = true;
      return false;
    }

    check.validated = 0;
    check.relevance = 0;
    check.autoAdded = false;
    const bool accepted = AcceptResultLink(engine, check, link, title);
    // Every result link of the engine takes a position, accepted or not; a
    // link the engine repeats keeps its first.
    int position = 0;
    if (check.IsResultCandidate()) {
      ++memory.candidatesOnPage;
      if (newLink) position = ++memory.resultPosition;
    }
    if (check.duplicate && position > 0 && check.duplicateKey != kNoDuplicateKey) {
      worker.AddSighting(check.duplicateKey, position);
    }
    if (!accepted) continue;
    if (worker.cancelled()) return false;
    // A link accepted without validation has no score of its own; it is
    // listed with the relevance the filter gave it and never dropped here.
    if (worker.validationMode() == kValidationValRel && !check.autoAdded &&
        check.relevance < worker.options().minRelevancy) {
      continue;
    }
    if (worker.HandOff(link, title, check.validated, check.relevance, perEngineCount, {}, position,
                       check.duplicateKey) == EngineRunContext::HandOffOutcome::kLimitReached) {
      engine.stopRequested = true;
      return false;
    }
  }
  return nextFound;
}

bool IsNextPageLink(std::string_view link, int pageOffset, int pageIndex,
                    const EngineDefinition& engine) {
  const long long expected = NextPageValue(engine, pageOffset, pageIndex);
  if (expected < 0) return false;
  Url target;
  Url search;
  if (!ParseUrl(link, &target).ok() || !ParseUrl(engine.searchUrl, &search).ok()) return false;
  if (target.port != search.port || target.host != search.host) return false;

  size_t mark = target.path.find('?');
  if (mark == std::string::npos || mark + 1 >= target.path.size()) return false;
  std::string_view query = std::string_view(target.path).substr(mark + 1);
  for (size_t from = 0; from < query.size();) {
    size_t skip = 1;
    size_t end = PairEnd(query, from, engine.separator, skip);
    std::string_view pair = query.substr(from, end == std::string_view::npos ? end : end - from);
    size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == engine.resultId) {
      return LeadingNumber(pair.substr(equals + 1)) == expected;
    }
    if (end == std::string_view::npos) break;
    from = end + skip;
  }
  return false;
}

}  // namespace trovelane
