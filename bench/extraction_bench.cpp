// Reading the anchors of a large result page: ParseAnchor walking the page
// from one "<A" to the next, and ScanResultPage doing the whole scan of a
// worker (status text per link, absolute links, next-page test, accept
// filter, hand-off), against gumbo parsing the same page into a tree and
// walking its A elements (href and text), measured in the same run. The
// ScanWeb cases scan for an engine that picks its results by anchor class
// and result-list markers behind redirect links, over a page of that shape
// and over the hostile shapes, which must stay one pass too; the ScanMarkers
// cases do the same with the places named by element and class.
// Prints MB/s per case and the throughput ratio of each case to gumbo.
#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engines/anchor_parser.h"
#include "engines/form_values.h"
#include "engines/html_scan.h"
#include "search/engine_loop.h"
#include "search/search_run.h"

namespace {

constexpr std::size_t kPageSize = 4u << 20;
constexpr const char* kBaselineName = "BM_Baseline_Gumbo";

// A result page as engines write them: a form, tables of results whose
// titles carry bold words and entities, links with "&amp;" between their
// parameters, single-quoted and unquoted hrefs, navigation and images.
const std::string& ResultPage() {
  static const std::string page = [] {
    const char* words[] = {"River",   "harbor", "Lantern", "meadow", "copper",  "falcon",
                           "orchard", "signal", "granite", "willow", "compass", "ember"};
    std::mt19937 random(7);
    auto word = [&] { return std::string(words[random() % std::size(words)]); };
    std::string out =
        "<HTML><HEAD><TITLE>Results for river</TITLE></HEAD><BODY>\n"
        "<FORM action=/search><INPUT type=text name=q value=river>"
        "<INPUT type=hidden name=start value=10></FORM>\n<TABLE>\n";
    for (int n = 0; out.size() < kPageSize; ++n) {
      out += "<TR><TD class=\"r\"><A HREF=\"http://site" + std::to_string(n % 97) +
             ".example/page" + std::to_string(n) + ".html?ref=list&amp;pos=" + std::to_string(n) +
             "\" title=\"" + word() + "\">" + word() + " <B>" + word() + "</B> &amp; " + word() +
             "</A><BR>\n<FONT size=-1>" + word() + " " + word() + " " + word() + " " + word() +
             " " + word() + "</FONT>";
      switch (n % 4) {
        case 0:
          out += " <a href='/cache?id=" + std::to_string(n) + "'>Cached</a>";
          break;
        case 1:
          out += " <a href=/similar?id=" + std::to_string(n) + ">Similar pages</a>";
          break;
        case 2:
          out += " <IMG src=\"/img/dot.gif\" alt=\"\"> <a name=r" + std::to_string(n) + ">#</a>";
          break;
        default:
          break;
      }
      out += "</TD></TR>\n";
      if (n % 10 == 9) {
        out += "<TR><TD><A href=\"/search?q=river&amp;start=" + std::to_string(n + 1) +
               "\">Next</A></TD></TR>\n";
      }
    }
    out += "</TABLE></BODY></HTML>\n";
    return out;
  }();
  return page;
}

// What both cases give for each anchor: its link and the size of its text.
struct AnchorTally {
  std::size_t anchors = 0;
  std::size_t linkBytes = 0;
  std::size_t textBytes = 0;
};

AnchorTally ReadWithParseAnchor(std::string_view page) {
  AnchorTally tally;
  std::string url;
  std::string text;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = trovelane::FindNoCase(page.substr(pos), "<A");
    if (hit == trovelane::kNotFound) break;
    pos += hit;
    const std::size_t used = trovelane::ParseAnchor(page, pos, url, text);
    if (used == 0) {
      ++pos;
      continue;
    }
    ++tally.anchors;
    tally.linkBytes += url.size();
    tally.textBytes += text.size();
    pos += used;
  }
  return tally;
}

void AppendText(const GumboNode* node, std::string& text) {
  if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
    text += node->v.text.text;
  } else if (node->type == GUMBO_NODE_ELEMENT) {
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
      AppendText(static_cast<const GumboNode*>(children.data[i]), text);
    }
  }
}

AnchorTally ReadWithGumbo(std::string_view page) {
  AnchorTally tally;
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  std::vector<const GumboNode*> pending{output->root};
  std::string text;
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT) continue;
    const GumboElement& element = node->v.element;
    if (element.tag == GUMBO_TAG_A) {
      if (const GumboAttribute* href = gumbo_get_attribute(&element.attributes, "href")) {
        text.clear();
        AppendText(node, text);
        ++tally.anchors;
        tally.linkBytes += std::string_view(href->value).size();
        tally.textBytes += text.size();
      }
    }
    for (unsigned i = 0; i < element.children.length; ++i) {
      pending.push_back(static_cast<const GumboNode*>(element.children.data[i]));
    }
  }
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return tally;
}

template <AnchorTally (*Read)(std::string_view)>
void RunOverPage(benchmark::State& state) {
  const std::string& page = ResultPage();
  AnchorTally tally;
  for (auto _ : state) {
    tally = Read(page);
    benchmark::DoNotOptimize(tally);
  }
  state.counters["anchors"] = static_cast<double>(tally.anchors);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_Baseline_Gumbo(benchmark::State& state) { RunOverPage<ReadWithGumbo>(state); }
void BM_ParseAnchor(benchmark::State& state) { RunOverPage<ReadWithParseAnchor>(state); }

// Counts what a scan hands over; runs on the benchmark's own thread, which
// owns the queue, so every send runs at once.
class CountingEvents : public trovelane::SearchEvents {
 public:
  void OnResult(const trovelane::ResultHandoff&) override { ++results; }
  std::size_t results = 0;
};

// A page of the same size made of tags that never end ("<a <a <a ..."): the
// scan must stay one pass over it, not one pass per "<a".
const std::string& UnclosedTagsPage() {
  static const std::string page = [] {
    std::string text;
    while (text.size() < ResultPage().size()) text += "<a ";
    return text;
  }();
  return page;
}

void ScanPage(benchmark::State& state, const std::string& page,
              const trovelane::EngineExtensions& web = {}) {
  using namespace trovelane;
  NetworkSettings settings;
  settings.search.maxResults = 1 << 30;
  settings.search.duplicateMode = kDuplicateNone;  // every pass does the same work
  EngineDefinition engine;
  engine.name = "bench";
  engine.searchUrl = "http://search.example/search";
  engine.resultId = "start";
  engine.resultsPerPage = 10;
  engine.searchedFileTypes = {"htm", "html"};
  engine.web = web;
  EngineCatalogue catalogue;
  CountingEvents events;
  SearchRun run(settings, catalogue, "/nonexistent", events);
  auto queue = std::make_shared<OwnerThreadQueue>();
  auto shared = std::make_shared<SearchShared>(settings.search, kValidationNone, queue);
  std::optional<SearchExpression> expression = ParseExpression("river");
  SearchWorker worker(shared, &run, 0, engine, *expression, settings, "/nonexistent");
  for (auto _ : state) {
    bool next = ScanResultPage(page, 0, 0, engine, worker);
    benchmark::DoNotOptimize(next);
  }
  state.counters["results"] =
      static_cast<double>(events.results) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

// Pages of the same size made of one never-ending shape repeated.
std::string Repeated(std::string_view tag, std::string_view tail = {}) {
  std::string text;
  while (text.size() < ResultPage().size()) text += tag;
  return text += tail;
}

void BM_ScanResultPage(benchmark::State& state) { ScanPage(state, ResultPage()); }
void BM_ScanUnclosedTags(benchmark::State& state) { ScanPage(state, UnclosedTagsPage()); }
// Unquoted hrefs that run on to the end of the page.
void BM_ScanAhrefEq(benchmark::State& state) {
  static const std::string page = Repeated("<ahref=");
  ScanPage(state, page);
}
// Anchors without href, all ended by one ">" at the end of the page.
void BM_ScanTagsClosedAtEnd(benchmark::State& state) {
  static const std::string page = Repeated("<a ", ">");
  ScanPage(state, page);
}
// Anchors whose "href" stands only at the end of the page, without "=".
void BM_ScanHrefAtEnd(benchmark::State& state) {
  static const std::string page = Repeated("<a ", "href");
  ScanPage(state, page);
}

// An engine of today's web: results are the anchors of one class inside the
// result list, behind a redirect link, of any file type.
trovelane::EngineExtensions WebScan() {
  trovelane::EngineExtensions web;
  web.resultClass = "result__a";
  web.resultListStart = "<div id=\"links\" class=\"results\">";
  web.resultListEnd = "<div class=\"nav-link\">";
  web.redirectParameter = "uddg";
  web.anyFileType = true;
  return web;
}

// A result page of that shape, the size of the others: a result title, a
// snippet and a display link per result, relative advertisement links.
const std::string& WebResultPage() {
  static const std::string page = [] {
    std::string out =
        "<html><head><title>river at the engine</title></head><body>"
        "<div class=\"header\"><a href=\"/settings\">Settings</a></div>"
        "<div id=\"links\" class=\"results\">\n";
    for (int n = 0; out.size() < ResultPage().size(); ++n) {
      const std::string target = "https%3A%2F%2Fsite" + std::to_string(n % 97) +
                                 ".example%2Fpage" + std::to_string(n) + "%3Fref%3Dlist";
      const std::string redirect =
          "//engine.example/l/?uddg=" + target + "&amp;rut=" + std::to_string(n * 7919);
      if (n % 25 == 0) {
        out += "<div class=\"result result--ad\"><a class=\"result__a\" href=\"/y.js?ad_domain=ads" +
               std::to_string(n) + ".example&amp;u3=x\">Sponsored</a></div>\n";
      }
      out += "<div class=\"result results_links web-result\"><div class=\"links_main\">"
             "<h2 class=\"result__title\"><a rel=\"nofollow\" class=\"result__a\" href=\"" +
             redirect + "\">River <b>lantern</b> " + std::to_string(n) +
             "</a></h2><a class=\"result__snippet\" href=\"" + redirect +
             "\">The river lantern meadow &amp; copper falcon</a><a class=\"result__url\" "
             "href=\"" + redirect + "\">site" + std::to_string(n % 97) +
             ".example</a></div></div>\n";
    }
    out += "</div><div class=\"nav-link\"><form action=\"/html/\" method=\"post\">"
           "<input type=\"hidden\" name=\"s\" value=\"30\"></form></div></body></html>\n";
    return out;
  }();
  return page;
}

void BM_ScanWeb_ResultPage(benchmark::State& state) { ScanPage(state, WebResultPage(), WebScan()); }
// The hostile shapes again, for an engine with every result rule on.
void BM_ScanWeb_UnclosedTags(benchmark::State& state) {
  trovelane::EngineExtensions web = WebScan();
  web.resultListStart.clear();
  ScanPage(state, UnclosedTagsPage(), web);
}
void BM_ScanWeb_AhrefEq(benchmark::State& state) {
  static const std::string page = Repeated("<ahref=");
  trovelane::EngineExtensions web = WebScan();
  web.resultListStart.clear();
  ScanPage(state, page, web);
}
// Anchors whose opening tags are long lists of attributes, none a class.
void BM_ScanWeb_LongTags(benchmark::State& state) {
  std::string tag = "<a href=\"//engine.example/l/?uddg=https%3A%2F%2Fa.example%2F\"";
  for (int i = 0; i < 2000; ++i) tag += " data-x" + std::to_string(i) + "='a class=result__a'";
  static const std::string page = Repeated(tag + ">t</a>");
  trovelane::EngineExtensions web = WebScan();
  web.resultListStart.clear();
  ScanPage(state, page, web);
}
// A page of near-matches of a result-list marker that repeats itself: every
// byte starts a candidate that matches for thousands of bytes.
void BM_ScanWeb_MarkerNearMatches(benchmark::State& state) {
  static const std::string page = Repeated(std::string(3998, '=') + "x");
  trovelane::EngineExtensions web = WebScan();
  web.resultListStart = std::string(4000, '=');
  ScanPage(state, page, web);
}

// The same engine with its places named by element and class, as a real
// page's markup needs: the result list, the heading before each result, and
// the advertisement blocks skipped.
trovelane::EngineExtensions ElementScan() {
  trovelane::EngineExtensions web = WebScan();
  web.resultListStart = "div#links.results";
  web.resultListEnd.clear();
  web.resultAnchorAfter = "h2.result__title";
  web.skippedBlocks = {"div.result--ad", "div.result-cluster"};
  return web;
}
void BM_ScanMarkers_ResultPage(benchmark::State& state) {
  ScanPage(state, WebResultPage(), ElementScan());
}
// Opening tags of the marked elements whose quoted class never ends.
void BM_ScanMarkers_UnendedTags(benchmark::State& state) {
  static const std::string page = Repeated("<div class='results <a href=//a.example/>x</a>");
  ScanPage(state, page, ElementScan());
}
// Skipped blocks opened inside each other and never closed, and closed
// ones one after another.
void BM_ScanMarkers_NestedBlocks(benchmark::State& state) {
  static const std::string page =
      "<div id=links class=results>" + Repeated("<div class=result--ad><a href=//a.example/>x</a>");
  ScanPage(state, page, ElementScan());
}
void BM_ScanMarkers_ClosedBlocks(benchmark::State& state) {
  static const std::string page =
      "<div id=links class=results>" +
      Repeated("<div class='result-cluster x'><div><a href=//a.example/>x</a></div></div>");
  ScanPage(state, page, ElementScan());
}
// Every anchor behind a heading of the wrong class, each tag long.
void BM_ScanMarkers_Headings(benchmark::State& state) {
  std::string tag = "<h2";
  for (int i = 0; i < 200; ++i) tag += " data-x" + std::to_string(i) + "='class=result__title'";
  static const std::string page = "<div id=links class=results>" +
                                  Repeated(tag + "><a class=result__a href=//a.example/>x</a>");
  ScanPage(state, page, ElementScan());
}

// The form harvest of the Auto techniques.
void Harvest(benchmark::State& state, const std::string& page) {
  trovelane::EngineDefinition engine;
  for (const char* name : {"q", "start"}) {
    trovelane::EngineParameter parameter;
    parameter.name = name;
    engine.parameters.push_back(parameter);
  }
  for (auto _ : state) {
    trovelane::HarvestFormValues(engine, page);
    benchmark::DoNotOptimize(engine.parameters[1].found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_Harvest_Ordinary(benchmark::State& state) { Harvest(state, ResultPage()); }
void BM_Harvest_InputX(benchmark::State& state) {
  static const std::string page = Repeated("<INPUTx");
  Harvest(state, page);
}
void BM_Harvest_InputBlanks(benchmark::State& state) {
  static const std::string page = Repeated("<INPUTx", std::string(1 << 20, ' ') + "=v ");
  Harvest(state, page);
}

BENCHMARK(BM_Baseline_Gumbo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAnchor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanResultPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanUnclosedTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanAhrefEq)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTagsClosedAtEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanHrefAtEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWeb_ResultPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWeb_UnclosedTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWeb_AhrefEq)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWeb_LongTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWeb_MarkerNearMatches)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMarkers_ResultPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMarkers_UnendedTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMarkers_NestedBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMarkers_ClosedBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMarkers_Headings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Harvest_Ordinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Harvest_InputX)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Harvest_InputBlanks)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::printf("result page: %.1f MiB\n", ResultPage().size() / 1048576.0);
  return trovelane::bench::RunWithRatios(argc, argv, kBaselineName, "x gumbo",
                                         {{"BM_ScanUnclosedTags", "BM_ScanResultPage"},
                                          {"BM_ScanAhrefEq", "BM_ScanResultPage"},
                                          {"BM_ScanTagsClosedAtEnd", "BM_ScanResultPage"},
                                          {"BM_ScanHrefAtEnd", "BM_ScanResultPage"},
                                          {"BM_ScanWeb_UnclosedTags", "BM_ScanWeb_ResultPage"},
                                          {"BM_ScanWeb_AhrefEq", "BM_ScanWeb_ResultPage"},
                                          {"BM_ScanWeb_LongTags", "BM_ScanWeb_ResultPage"},
                                          {"BM_ScanWeb_MarkerNearMatches", "BM_ScanWeb_ResultPage"},
                                          {"BM_ScanMarkers_UnendedTags", "BM_ScanMarkers_ResultPage"},
                                          {"BM_ScanMarkers_NestedBlocks", "BM_ScanMarkers_ResultPage"},
                                          {"BM_ScanMarkers_ClosedBlocks", "BM_ScanMarkers_ResultPage"},
                                          {"BM_ScanMarkers_Headings", "BM_ScanMarkers_ResultPage"},
                                          {"BM_Harvest_InputX", "BM_Harvest_Ordinary"},
                                          {"BM_Harvest_InputBlanks", "BM_Harvest_Ordinary"}});
}
