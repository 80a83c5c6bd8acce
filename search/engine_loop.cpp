#include "search/engine_loop.h"

#include <unistd.h>

#include <limits>
#include <unordered_set>
#include <vector>

#include "engines/anchor_parser.h"
#include "engines/api_results.h"
#include "engines/form_values.h"
#include "engines/html_scan.h"
#include "engines/page_marker.h"
#include "engines/result_link.h"
#include "net/http_url.h"
#include "net/url.h"
#include "search/engine_run_context.h"
#include "search/engine_suspension.h"
#include "search/request_builder.h"
#include "search/result_offer.h"
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

// What a step of an engine's run came to: the engine goes on with its next
// page, or it ends, and then how (the ending of its report) and what its row
// says last.
struct Verdict {
  bool goOn = false;
  EngineEnding ending = EngineEnding::kDone;
  std::string detail;  // kError: why, for the report
  std::string status;  // the row's last text; empty: the row keeps what it said
  BlockKind block = BlockKind::kNone;
  int httpStatus = 0;  // kBlocked by an HTTP status: which

  static Verdict Next() {
    Verdict v;
    v.goOn = true;
    return v;
  }
  static Verdict Ends(EngineEnding ending, std::string status = {}, std::string detail = {}) {
    Verdict v;
    v.ending = ending;
    v.status = std::move(status);
    v.detail = std::move(detail);
    return v;
  }
  static Verdict Blocked(BlockKind block, int httpStatus) {
    Verdict v = Ends(EngineEnding::kBlocked, "Blocked (" + BlockLabel(block, httpStatus) + ")");
    v.block = block;
    v.httpStatus = httpStatus;
    return v;
  }
};

// The one place an engine's run ends: its report's ending (the first one
// set stands), then the last text of its row.
void EndEngine(EngineRunContext& worker, const Verdict& verdict) {
  if (verdict.ending == EngineEnding::kBlocked) {
    worker.UpdateReport([&](EngineReport& r) {
      if (r.ending != EngineEnding::kNotRun) return;
      r.ending = EngineEnding::kBlocked;
      r.block = verdict.block;
      r.blockStatus = verdict.block == BlockKind::kHttpStatus ? verdict.httpStatus : 0;
    });
  } else {
    worker.End(verdict.ending, verdict.detail);
  }
  if (!verdict.status.empty()) worker.SendStatus(verdict.status);
}

// An engine that ends because its server fell silent says so on its row.
std::string TimeOutStatus(EngineRunContext& worker) {
  return worker.connection().TimedOut() && !worker.cancelled() ? kStatusTimedOut : "";
}

// The ending of an engine whose request could not be opened.
Verdict OpenFailureVerdict(EngineRunContext& worker) {
  const std::string status = TimeOutStatus(worker);
  switch (worker.connection().GetFailure()) {
    case OpenFailure::kResolve:
    case OpenFailure::kConnect:
    case OpenFailure::kProxy:
      return Verdict::Ends(EngineEnding::kUnreachable, status);
    case OpenFailure::kTls:
      return Verdict::Ends(EngineEnding::kTlsFailure, status);
    case OpenFailure::kTimedOut:
      return Verdict::Ends(EngineEnding::kTimedOut, status);
    case OpenFailure::kCancelled:
    case OpenFailure::kNone:
      break;
    case OpenFailure::kHeadTooLarge:
      return Verdict::Ends(EngineEnding::kError, status, "the answer's head is too large");
    case OpenFailure::kInsecureRedirect:
      return Verdict::Ends(EngineEnding::kError, status, "redirected from https to http");
    case OpenFailure::kNotHttp:
      return Verdict::Ends(EngineEnding::kError, status, "not an HTTP address");
    case OpenFailure::kMalformedRedirect:
      return Verdict::Ends(EngineEnding::kError, status, "malformed address");
  }
  return Verdict::Ends(worker.cancelled() ? EngineEnding::kStopped : EngineEnding::kUnreachable,
                       status);
}

// How the engine goes on after its page download: with the page, or ended.
Verdict DownloadVerdict(EngineRunContext& worker, Download download) {
  switch (download) {
    case Download::kOk:
      break;
    case Download::kStopped:
      return Verdict::Ends(EngineEnding::kStopped);
    case Download::kTooLarge:
      return Verdict::Ends(EngineEnding::kError, kStatusPageTooLarge, kStatusPageTooLarge);
    case Download::kSpoolFailed: {
      const std::string text =
          FormatStatus(kStatusSpoolFailed, SpoolFilePath(worker.workFolder(), gettid()).string());
      return Verdict::Ends(EngineEnding::kError, text, text);
    }
    case Download::kCut:
      switch (worker.connection().GetReadFailure()) {
        case ReadFailure::kTimedOut:
          return Verdict::Ends(EngineEnding::kTimedOut, TimeOutStatus(worker));
        case ReadFailure::kCancelled:
          return Verdict::Ends(EngineEnding::kStopped);
        default:
          return Verdict::Ends(EngineEnding::kError, TimeOutStatus(worker),
                               "the page was cut short");
      }
  }
  return worker.cancelled() ? Verdict::Ends(EngineEnding::kStopped) : Verdict::Next();
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

namespace {

// What the pages of one engine's run share.
struct EngineRun {
  EngineRun(EngineRunContext& w, EngineDefinition& e) : worker(w), engine(e) {}

  EngineRunContext& worker;
  EngineDefinition& engine;
  std::string cookieText;  // what the engine's server set, sent back with each page
  std::string requestUrl;  // of the page asked for last
  std::unordered_set<std::string> sentRequests;
  std::vector<char> buffer = std::vector<char>(kPageReadSize);
  int maxPages = 0;
  bool isAuto = false;
};

// One result page as it came.
struct FetchedPage {
  std::string text;
  bool answered = false;  // an HTTP status line came
  int httpStatus = 0;
};

// Asks the engine for page `pageIndex` and reads it whole.
Verdict FetchResultPage(EngineRun& run, int pageIndex, FetchedPage& page) {
  EngineRunContext& worker = run.worker;
  const EngineDefinition& engine = run.engine;
  CHttpURL& connection = worker.connection();
  const std::string previousUrl = run.requestUrl;
  EngineRequest request =
      BuildRequest(engine, worker.expression(), IterationValue(engine, pageIndex));
  if (!request.ok()) return Verdict::Ends(EngineEnding::kError, {}, "the request does not fit");
  if (!run.sentRequests.insert(RequestKey(request)).second) {
    return Verdict::Ends(EngineEnding::kDone, kStatusRepeatedRequest);
  }
  run.requestUrl = request.url;

  worker.SendStatus(FormatStatus(kStatusConnecting, run.requestUrl));
  if (!connection.SetURL(run.requestUrl, engine.method == POST).ok()) {
    return Verdict::Ends(EngineEnding::kError, {}, "malformed address");
  }
  // The text sent is a copy: the sink may replace the cookie text while
  // a redirect still sends it. The server's cookies go over the preset ones.
  const std::string cookieSent = MergeCookies(engine.web.cookies, run.cookieText);
  if (!cookieSent.empty()) connection.cookieToSend = cookieSent.c_str();
  if (engine.requiresCookies) connection.cookieSink = &run.cookieText;
  // An empty referer sends none (a null one would keep the last).
  const char* referer = !engine.referer.empty() ? engine.referer.c_str()
                        : pageIndex != 0        ? previousUrl.c_str()
                                                : "";
  const char* body = engine.method == POST ? request.body.c_str() : nullptr;
  if (!connection.Open(worker.settings().program.userAgent.c_str(), referer, body,
                       &worker.settings().proxy)) {
    return OpenFailureVerdict(worker);
  }
  connection.cookieToSend = nullptr;
  page.answered = connection.HasStatusLine();
  page.httpStatus = page.answered ? connection.GetStatus() : 0;
  // A wait the answer names (Retry-After, a used-up rate limit) is counted
  // from when it came.
  const std::optional<std::chrono::seconds> wait =
      ServerNamedWait(connection.GetHead(), WallClock::now());
  worker.UpdateReport([&](EngineReport& r) {
    r.httpStatus = page.httpStatus;
    r.reached = r.reached || page.answered;
    r.namedWait = wait;
  });

  worker.SendStatus(FormatStatus(kStatusConnected, run.requestUrl));
  worker.SendStatus(FormatStatus(kStatusRetrieving, connection.GetPath()));
  const Verdict download = DownloadVerdict(worker, DownloadPage(worker, run.buffer, page.text));
  if (!download.goOn) return download;
  worker.UpdateReport([&](EngineReport& r) {
    ++r.pages;
    r.bytes += static_cast<long long>(page.text.size());
    r.nextPage = false;
  });
  return Verdict::Next();
}

// Reads a page that came: whether it is a block or an error page, its
// results, and whether the engine goes on to its next page.
Verdict JudgeResultPage(EngineRun& run, int pageIndex, const FetchedPage& page) {
  EngineRunContext& worker = run.worker;
  EngineDefinition& engine = run.engine;
  const PageMemory& memory = worker.pageMemory();
  // A server that closed without a word gave no page to scan.
  if (!page.answered && page.text.empty()) return Verdict::Ends(EngineEnding::kUnreachable);
  // A block page is not scanned: its links are the block's, not results.
  if (const BlockKind block =
          DetectBlock(engine, page.httpStatus, page.text, worker.connection().GetHead());
      block != BlockKind::kNone) {
    return Verdict::Blocked(block, page.httpStatus);
  }
  // Nor is an error page (404, 500...): its links are the server's.
  if (page.answered && (page.httpStatus < 200 || page.httpStatus > 299)) {
    return Verdict::Ends(EngineEnding::kHttpStatus, HttpStatusText(page.httpStatus));
  }
  const bool html = ResultFormatOf(engine.web) == ResultFormat::kHtml;
  worker.SendStatus(html ? kStatusParsing : kStatusParsingAnswer);
  const bool exhausted = RateLimitExhausted(worker.connection().GetHead());

  bool more = false;
  if (html) {
    if (run.isAuto) HarvestFormValues(engine, page.text);
    const bool found =
        ScanResultPage(page.text, PageOffset(engine, pageIndex), pageIndex, engine, worker);
    more = found || (run.isAuto && !PositionMissing(engine));
  } else {
    size_t read = 0;
    if (Status status = ReadAnswerResults(page.text, pageIndex, engine, worker, read);
        !status.ok()) {
      // An empty 202, or an answer of used-up requests, is a block whatever
      // its body.
      if (page.httpStatus == 202 || exhausted) {
        return Verdict::Blocked(BlockKind::kHttpStatus, page.httpStatus);
      }
      return Verdict::Ends(EngineEnding::kError, status.message(), status.message());
    }
    // An answer has no link to its next page: a full page suggests one.
    more = !run.isAuto && engine.resultsPerPage > 0 &&
           read >= static_cast<size_t>(engine.resultsPerPage);
  }
  // A check of an earlier page may have reached the limit meanwhile.
  if (worker.resultChecks().limitReached()) engine.stopRequested = true;
  // An engine that accepts a request with 202 and lists nothing on it
  // is holding the client off (a rate-limit page); so is one that says its
  // requests are used up and lists nothing.
  const bool empty = memory.candidatesOnPage == 0 && !worker.cancelled();
  if (empty && (page.httpStatus == 202 || exhausted)) {
    return Verdict::Blocked(BlockKind::kHttpStatus, page.httpStatus);
  }
  // Its next request would be refused.
  if (more && exhausted && !engine.stopRequested) {
    worker.UpdateReport([&](EngineReport& r) { r.nextPage = true; });
    return Verdict::Ends(EngineEnding::kDone, kStatusRateLimitReached);
  }
  worker.UpdateReport([&](EngineReport& r) { r.nextPage = more && !engine.stopRequested; });
  if (engine.stopRequested) return Verdict::Ends(EngineEnding::kLimit);
  if (worker.cancelled()) return Verdict::Ends(EngineEnding::kStopped);
  if (!more) return Verdict::Ends(EngineEnding::kDone);
  // A next page is asked for only when this one brought something new.
  if (memory.newLinksOnPage == 0) return Verdict::Ends(EngineEnding::kDone, kStatusNoNewResults);
  if (pageIndex + 1 >= run.maxPages) {
    return Verdict::Ends(EngineEnding::kLimit,
                         FormatStatus(kStatusPageLimit, std::to_string(pageIndex + 1)));
  }
  return Verdict::Next();
}

// Everything an engine needs before its first page: a definition that can
// page, the address it waits for, its request options, its cookie pages.
Verdict PrepareEngine(EngineRun& run) {
  EngineRunContext& worker = run.worker;
  EngineDefinition& engine = run.engine;
  if (Status paging = CheckPaging(engine); !paging.ok()) {
    return Verdict::Ends(EngineEnding::kError, paging.message(), paging.message());
  }
  if (ResultFormatOf(engine.web) == ResultFormat::kUnknown) {
    const std::string why =
        "the result format \"" + engine.web.format + "\" is not known to this program";
    return Verdict::Ends(EngineEnding::kError, why, why);
  }
  if (Status address = FillInstanceAddress(engine, worker.settings().program); !address.ok()) {
    return Verdict::Ends(EngineEnding::kError, address.message(), address.message());
  }
  // Every request to the engine's server carries what its definition asks
  // for, within its own time-outs; the validation fetches of its results
  // carry its User-Agent and protocol choices only.
  const ProgramOptions& program = worker.settings().program;
  worker.connection().SetRequestOptions(EngineRequestOptions(engine, program));
  worker.connection().SetTimeouts(EngineTimeouts(program, engine.web));
  worker.resultChecks().Prepare(worker.expression(), worker.settings(),
                                ValidationRequestOptions(engine, program), worker.validationMode(),
                                [&worker](const std::string& text) { worker.SendStatus(text); });
  VisitCookiePages(worker, engine, run.cookieText);

  engine.stopRequested = false;
  worker.pageMemory().ownLinks.clear();
  run.maxPages = program.maxPagesPerEngine > 0 ? program.maxPagesPerEngine
                                               : ProgramOptions{}.maxPagesPerEngine;
  run.isAuto = IsAutoTechnique(engine.iterationTechnique);
  return Verdict::Next();
}

}  // namespace

void RunEngineLoop(EngineRunContext& worker, EngineDefinition& engine) {
  EngineRun run(worker, engine);
  Verdict verdict = PrepareEngine(run);
  for (int pageIndex = 0; verdict.goOn && !worker.cancelled(); ++pageIndex) {
    FetchedPage page;
    verdict = FetchResultPage(run, pageIndex, page);
    if (verdict.goOn) verdict = JudgeResultPage(run, pageIndex, page);
  }
  if (worker.connection().IsConnected()) worker.connection().Close();
  // The results still being checked are the engine's last ones: it ends
  // when they are in (or, stopped, cancelled).
  ResultChecks& checks = worker.resultChecks();
  checks.Wait();
  if (!verdict.goOn && verdict.ending == EngineEnding::kDone && checks.limitReached()) {
    verdict = Verdict::Ends(EngineEnding::kLimit);
  }
  if (!verdict.goOn) EndEngine(worker, verdict);
  // Stopped between two pages, or before the first.
  worker.End(worker.cancelled() ? EngineEnding::kStopped : EngineEnding::kDone);
}

bool ScanResultPage(std::string_view page, int pageOffset, int pageIndex, EngineDefinition& engine,
                    EngineRunContext& worker) {
  PageMemory& memory = worker.pageMemory();
  bool nextFound = false;
  memory.newLinksOnPage = 0;
  memory.candidatesOnPage = 0;
  ResultOffers offers(engine, worker, PageOffset(engine, pageIndex));

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
    if (!offers.Offer(link, title)) return false;
  }
  return nextFound;
}

Status ReadAnswerResults(std::string_view answer, int pageIndex, EngineDefinition& engine,
                         EngineRunContext& worker, size_t& read) {
  PageMemory& memory = worker.pageMemory();
  memory.newLinksOnPage = 0;
  memory.candidatesOnPage = 0;
  read = 0;
  std::vector<ApiResult> results;
  if (Status status = ReadApiResults(engine, answer, results); !status.ok()) return status;
  read = results.size();
  ResultOffers offers(engine, worker, PageOffset(engine, pageIndex));
  for (const ApiResult& result : results) {
    if (worker.cancelled()) break;
    worker.SendStatus(FormatStatus(kStatusCheckingUrl, result.url, ""));
    if (!offers.Offer(result.url, result.title)) break;
  }
  return Status::Ok();
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
