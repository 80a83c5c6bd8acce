#include "search/relevance.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engines/expression_match.h"
#include "engines/html_scan.h"

namespace trovelane {
namespace {

// A leaf that takes part in scoring: a plain word or phrase, not negated.
bool IsCountedTerm(const ExpressionNode& node) {
  return node.IsLeaf() && !node.IsTagTerm() && !node.negated;
}

template <typename Visit>
void ForEachCountedTerm(ExpressionNode& node, Visit visit) {
  if (!node.IsLeaf()) {
    if (node.left) ForEachCountedTerm(*node.left, visit);
    if (node.right) ForEachCountedTerm(*node.right, visit);
  } else if (IsCountedTerm(node)) {
    visit(node);
  }
}

void ClearCounters(ExpressionNode& node) {
  node.titleScore = node.textScore = 0;
  if (node.left) ClearCounters(*node.left);
  if (node.right) ClearCounters(*node.right);
}

// The inner text of the first element that `open` (such as "<H2") starts,
// up to "</" + name; none when there is no such element or it is not closed.
std::optional<std::string_view> FirstInnerText(std::string_view page, std::string_view open) {
  const std::size_t at = FindNoCase(page, open);
  if (at == kNotFound) return std::nullopt;
  return GetInnerText(page.substr(at), open.substr(1));
}

// The SIZE attribute of the FONT tag whose attributes start at `from`, read
// as a decimal integer with an optional sign (so "+2" gives 2); 0 without one.
int FontSize(std::string_view page, std::size_t from, PageScanMemo& memo) {
  int size = 0;
  auto readSize = [&](std::string_view name, std::string_view value) {
    if (!EqualsNoCase(name, "size")) return false;
    std::size_t i = 0;
    while (i < value.size() && IsAsciiBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    int64_t number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9' && number < 1000000; ++i) {
      number = number * 10 + (value[i] - '0');
    }
    size = static_cast<int>(negative ? -number : number);
    return true;
  };
  AnyTagAttribute(page, from, readSize, nullptr, &memo);
  return size;
}

int FontWeight(int fontSize, const SearchOptions& options) {
  const auto& weights = options.weights;
  return fontSize >= 6   ? weights[kWeightFontSize6]
         : fontSize >= 3 ? weights[kWeightFontSize3]
                         : weights[kWeightNone];
}

}  // namespace

void AccumulateRelevance(ExpressionNode& node, int category, std::string_view text, int fontSize,
                         const SearchOptions& options) {
  const auto& weights = options.weights;
  ForEachCountedTerm(node, [&](ExpressionNode& term) {
    if (!FirstOccurrenceCounts(text, term.term)) return;
    if (category == kRelevanceTitle) {
      term.titleScore = weights[kWeightTitle];
    } else if (category >= kRelevanceHeading1 && category <= kRelevanceHeading4) {
      if (term.textScore < weights[category]) term.textScore = weights[category];
    } else if (category == kRelevanceFont) {
      term.textScore = FontWeight(fontSize, options);
    }
  });
}

int ScoreRelevance(ExpressionNode& root, std::string_view page, const SearchOptions& options,
                   const std::function<bool()>& cancelled) {
  ClearCounters(root);

  if (auto title = FirstInnerText(page, "<TITLE")) {
    AccumulateRelevance(root, kRelevanceTitle, *title, 0, options);
  }
  for (int level = kRelevanceHeading1; level <= kRelevanceHeading4; ++level) {
    const std::string open = "<H" + std::to_string(level);
    if (auto heading = FirstInnerText(page, open)) {
      AccumulateRelevance(root, level, *heading, 0, options);
    }
  }
  // Every FONT element in page order, each with its text up to the next
  // "</FONT". Nested or unclosed elements share that end, so the tag ends,
  // the closing tag and each term are found through remembered searches
  // over the whole page: the loop stays one pass however the tags nest.
  constexpr std::string_view kFont = "<FONT";
  PageScanMemo memo(page);
  OccurrenceFinder closing(page, "</FONT");
  std::vector<std::pair<ExpressionNode*, OccurrenceFinder>> finders;
  ForEachCountedTerm(root, [&](ExpressionNode& term) {
    finders.emplace_back(&term, OccurrenceFinder(page, term.term));
  });
  std::size_t elements = 0;
  for (std::size_t at = FindNoCase(page, kFont); at != kNotFound;) {
    if (cancelled && ++elements % 4096 == 0 && cancelled()) break;
    const std::size_t tagEnd = memo.TagEnd(at);
    if (tagEnd != kNotFound) {
      const std::size_t innerStart = tagEnd + 1;
      const std::size_t close = closing.From(innerStart);
      if (close == kNotFound) break;  // no later element is closed either
      const int size = FontSize(page, at + kFont.size(), memo);
      for (auto& [term, finder] : finders) {
        if (OccursAsWordWithin(page, innerStart, close, finder)) {
          term->textScore = FontWeight(size, options);
        }
      }
    }
    const std::size_t next = FindNoCase(page.substr(at + kFont.size()), kFont);
    at = next == kNotFound ? kNotFound : at + kFont.size() + next;
  }

  int64_t total = 0;
  int64_t terms = 0;
  ForEachCountedTerm(root, [&](ExpressionNode& term) {
    total += term.titleScore + term.textScore;
    ++terms;
  });
  const int64_t denominator = int64_t{options.maxRelevance} * terms;
  if (denominator == 0) return 0;
  return static_cast<int>(total * 100 / denominator);
}

}  // namespace trovelane
