// FindNoCase and AccumulateMatches over a 4 MiB result page, against a plain
// case-folding std::search measured in the same run. Prints MB/s per case
// and the throughput ratio of each case to the baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>

#include "bench/ratio_reporter.h"
#include "engines/expression_match.h"
#include "engines/html_scan.h"
#include "engines/search_expression.h"
#include "search/relevance.h"

namespace {

using trovelane::FindNoCase;

constexpr std::size_t kPageSize = 4u << 20;

// A result page of mixed-case markup: anchors, paragraphs, tables and text.
// None of the searched words occurs in it, so every search reads all of it.
const std::string& Page() {
  static const std::string page = [] {
    const char* words[] = {"News",  "the",    "Weather", "and",   "Sports", "market",
                           "Price", "online", "Review",  "world", "local",  "Video",
                           "stock", "today",  "Music",   "for",   "with",   "Games"};
    std::mt19937 random(42);
    std::string out =
        "<HTML><HEAD><TITLE>Daily news and more</TITLE>\n"
        "<meta name=\"keywords\" content=\"news, weather\"></HEAD><BODY>\n";
    int n = 0;
    while (out.size() < kPageSize) {
      switch (random() % 4) {
        case 0:
          out += "<a href=\"http://site" + std::to_string(n % 97) + ".example/page" +
                 std::to_string(n) + ".html\" class=\"r\">";
          break;
        case 1:
          out += "<P>";
          break;
        case 2:
          out += "<td align=left><font size=2>";
          break;
        default:
          break;
      }
      for (int i = 0; i < 12; ++i) {
        out += words[random() % std::size(words)];
        out += ' ';
      }
      out += (n % 3 == 0) ? "</a>\n" : "</font></td>\n";
      ++n;
    }
    out += "</BODY></HTML>\n";
    return out;
  }();
  return page;
}

std::size_t SearchBaseline(std::string_view text, std::string_view pattern) {
  auto fold = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
  };
  const auto hit = std::search(text.begin(), text.end(), pattern.begin(), pattern.end(), fold);
  return hit == text.end() ? std::string_view::npos : static_cast<std::size_t>(hit - text.begin());
}

// Two patterns: one that opens with a frequent letter, one a tag.
constexpr std::string_view kWordPattern = "Seasonal";
constexpr std::string_view kTagPattern = "<TFOOT";

void BM_Baseline_StdSearch(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(SearchBaseline(page, kWordPattern));
    benchmark::DoNotOptimize(SearchBaseline(page, kTagPattern));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * page.size()));
}

void BM_FindNoCase(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindNoCase(page, kWordPattern));
    benchmark::DoNotOptimize(FindNoCase(page, kTagPattern));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * page.size()));
}

// Ten terms: eight words and phrases (one negated, which is always searched
// again) and two tag terms, one over every anchor of the page.
constexpr std::string_view kExpression =
    "cheap & flights & (hotel | resort) & !casino & \"last minute\" & holiday & beach & "
    "'TITLE,QMINNERTEXT,travel' & 'A,HREF,booking'";

void BM_AccumulateMatches(benchmark::State& state) {
  const std::string& page = Page();
  auto expression = trovelane::ParseExpression(kExpression);
  if (!expression) {
    state.SkipWithError("expression does not parse");
    return;
  }
  for (auto _ : state) {
    trovelane::ResetMatches(expression->Root());
    trovelane::AccumulateMatches(expression->Root(), page);
    benchmark::DoNotOptimize(trovelane::FinalMatch(expression->Root()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

// A page of kPageSize made of one tag that never ends, repeated.
std::string Repeated(std::string_view tag) {
  std::string out;
  out.reserve(kPageSize + tag.size());
  while (out.size() < kPageSize) out += tag;
  return out;
}

// Tag terms of every kind: inner text, an attribute, a META field, and an
// attribute with a value expression. None is satisfied by any page below, so
// every occurrence of every tag is read.
constexpr std::string_view kTagTerms =
    "'TITLE,QMINNERTEXT,travel' & 'TITLE,lang,en' & 'METANAME,keywords,travel' & "
    "'A,HREF,booking | hotel' & 'META,x,travel'";

void MatchTagTerms(benchmark::State& state, const std::string& page) {
  auto expression = trovelane::ParseExpression(kTagTerms);
  if (!expression) {
    state.SkipWithError("expression does not parse");
    return;
  }
  for (auto _ : state) {
    trovelane::ResetMatches(expression->Root());
    trovelane::AccumulateMatches(expression->Root(), page);
    benchmark::DoNotOptimize(trovelane::FinalMatch(expression->Root()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_TagTerms_Ordinary(benchmark::State& state) { MatchTagTerms(state, Page()); }
void BM_TagTerms_TitleQuote(benchmark::State& state) {
  static const std::string page = Repeated("<TITLE\"");
  MatchTagTerms(state, page);
}
void BM_TagTerms_MetaX(benchmark::State& state) {
  static const std::string page = Repeated("<METAx");
  MatchTagTerms(state, page);
}
void BM_TagTerms_AX(benchmark::State& state) {
  static const std::string page = Repeated("<Ax");
  MatchTagTerms(state, page);
}
// Attribute values that all run to one blank at the end of the page.
void BM_TagTerms_AValue(benchmark::State& state) {
  static const std::string page = Repeated("<Ax=") + " ";
  MatchTagTerms(state, page);
}

// Relevance scoring of four words, title, headings and FONT elements.
void Score(benchmark::State& state, const std::string& page) {
  auto expression = trovelane::ParseExpression("river & harbor & \"stock market\" & music");
  trovelane::SearchOptions options;
  options.weights = {10, 8, 6, 4, 2, 5, 3, 1};
  options.maxRelevance = 18;
  for (auto _ : state) {
    benchmark::DoNotOptimize(trovelane::ScoreRelevance(expression->Root(), page, options));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_Relevance_Ordinary(benchmark::State& state) { Score(state, Page()); }
void BM_Relevance_Font(benchmark::State& state) {
  static const std::string page = Repeated("<FONT");
  Score(state, page);
}
// FONT elements nested without end, all closed by one "</FONT" at the end.
void BM_Relevance_NestedFont(benchmark::State& state) {
  static const std::string page = Repeated("<FONT size=3>x ") + "</FONT>";
  Score(state, page);
}

BENCHMARK(BM_Baseline_StdSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindNoCase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccumulateMatches)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagTerms_Ordinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagTerms_TitleQuote)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagTerms_MetaX)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagTerms_AX)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagTerms_AValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Relevance_Ordinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Relevance_Font)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Relevance_NestedFont)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return trovelane::bench::RunWithRatios(argc, argv, "BM_Baseline_StdSearch", "x baseline",
                                         {{"BM_TagTerms_TitleQuote", "BM_TagTerms_Ordinary"},
                                          {"BM_TagTerms_MetaX", "BM_TagTerms_Ordinary"},
                                          {"BM_TagTerms_AX", "BM_TagTerms_Ordinary"},
                                          {"BM_TagTerms_AValue", "BM_TagTerms_Ordinary"},
                                          {"BM_Relevance_Font", "BM_Relevance_Ordinary"},
                                          {"BM_Relevance_NestedFont", "BM_Relevance_Ordinary"}});
}
