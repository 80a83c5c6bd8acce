#include "engines/expression_match.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

// Calls visit(position) for each occurrence of pattern until visit returns
// true; returns whether one did.
template <typename Visit>
bool AnyOccurrence(std::string_view text, std::string_view pattern, Visit visit) {
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t found = FindNoCase(text.substr(from), pattern);
    if (found == kNotFound) return false;
    const std::size_t at = from + found;
    if (visit(at)) return true;
    from = at + 1;
  }
  return false;
}

template <typename Visit>
void ForEachLeaf(const ExpressionNode& node, Visit visit) {
  if (node.IsLeaf()) {
    visit(node);
    return;
  }
  if (node.left) ForEachLeaf(*node.left, visit);
  if (node.right) ForEachLeaf(*node.right, visit);
}

// The positive result of a tree whose leaves are decided by leafCounts, as
// MatchExpression gives it: a negated leaf never counts.
template <typename LeafCounts>
bool PositiveResult(const ExpressionNode& node, LeafCounts& leafCounts) {
  if (node.IsLeaf()) return !node.negated && leafCounts(node);
  if (!node.left || !node.right) return false;
  const bool left = PositiveResult(*node.left, leafCounts);
  const bool right = PositiveResult(*node.right, leafCounts);
  return node.op == kAndOperator ? left && right : left || right;
}

// Decides one tag term on one text. Values and inner texts of neighbouring
// tags often share their ends (an attribute or inner text that runs to the
// end of a page of tags that never end), so the tag ends, the closing tags
// and each word of the value expression are found through remembered
// searches over the whole text rather than searched anew in each piece;
// every scan stays one pass over the text.
class TagTermMatcher {
 public:
  TagTermMatcher(const ExpressionNode& leaf, std::string_view text)
      : leaf_(leaf), text_(text), memo_(text), valueExpression_(ParseExpression(leaf.term)) {
    if (valueExpression_) {
      ForEachLeaf(valueExpression_->Root(), [&](const ExpressionNode& word) {
        finders_.emplace_back(&word, OccurrenceFinder(text, word.term));
      });
    } else {
      finders_.emplace_back(&leaf_, OccurrenceFinder(text, leaf_.term));
    }
  }

  bool Counts() {
    if (EqualsNoCase(*leaf_.tag, kMetaNameTag)) return MetaCounts("NAME");
    if (EqualsNoCase(*leaf_.tag, kMetaEquivTag)) return MetaCounts("HTTP-EQUIV");
    if (EqualsNoCase(*leaf_.property, kInnerTextProperty)) return InnerTextCounts();
    return AttributeCounts();
  }

 private:
  OccurrenceFinder& FinderOf(const ExpressionNode& word) {
    for (auto& [node, finder] : finders_) {
      if (node == &word) return finder;
    }
    return finders_.front().second;  // not reached: every leaf has one
  }

  // The value expression's positive result on [begin, end) of the text, as
  // MatchExpression gives it on that piece alone.
  bool ExpressionSatisfiedWithin(std::size_t begin, std::size_t end) {
    auto leafCounts = [&](const ExpressionNode& word) {
      return OccursAsWordWithin(text_, begin, end, FinderOf(word));
    };
    return PositiveResult(valueExpression_->Root(), leafCounts);
  }

  // A value expression decides when the term parsed as one; otherwise the
  // value must equal the term. `value` is a view into the text.
  bool ValueSatisfies(std::string_view value) {
    if (!valueExpression_) return EqualsNoCase(value, leaf_.term);
    const std::size_t begin = static_cast<std::size_t>(value.data() - text_.data());
    return ExpressionSatisfiedWithin(begin, begin + value.size());
  }

  bool AttributeCounts() {
    const std::string open = "<" + *leaf_.tag;
    return AnyOccurrence(text_, open, [&](std::size_t at) {
      return AnyTagAttribute(
          text_, at + open.size(),
          [&](std::string_view name, std::string_view value) {
            return EqualsNoCase(name, *leaf_.property) && ValueSatisfies(value);
          },
          nullptr, &memo_);
    });
  }

  // The inner text of each occurrence as GetInnerText gives it, tested in
  // place: the value expression's positive result, or else the term with no
  // letter right before or after it.
  bool InnerTextCounts() {
    const std::string open = "<" + *leaf_.tag;
    OccurrenceFinder closing(text_, "</" + *leaf_.tag);
    return AnyOccurrence(text_, open, [&](std::size_t at) {
      const std::size_t tagEnd = memo_.TagEnd(at);
      if (tagEnd == kNotFound) return false;
      const std::size_t begin = tagEnd + 1;
      const std::size_t end = closing.From(begin);
      if (end == kNotFound) return false;
      if (!valueExpression_) return IsWordInInnerText(text_, begin, end, finders_[0].second);
      return ExpressionSatisfiedWithin(begin, end);
    });
  }

  // The plain comparison of inner text with an unparsable value: the first
  // occurrence counts when no letter stands right before or after it.
  static bool IsWordInInnerText(std::string_view text, std::size_t begin, std::size_t end,
                                OccurrenceFinder& finder) {
    const std::size_t pos = finder.Within(begin, end);
    if (pos == kNotFound) return false;
    if (pos > begin && IsAsciiLetter(text[pos - 1])) return false;
    const std::size_t after = pos + finder.TermSize();
    return after == end || !IsAsciiLetter(text[after]);
  }

  // Within one META tag, the first "content" attribute after the key pair
  // (key attribute naming the property) decides for that tag.
  bool MetaCounts(std::string_view keyAttribute) {
    constexpr std::string_view kMeta = "<META";
    return AnyOccurrence(text_, kMeta, [&](std::size_t at) {
      bool keySeen = false;
      std::optional<bool> decided;
      AnyTagAttribute(
          text_, at + kMeta.size(),
          [&](std::string_view name, std::string_view value) {
            if (!keySeen) {
              keySeen = EqualsNoCase(name, keyAttribute) && EqualsNoCase(value, *leaf_.property);
              return false;
            }
            if (!EqualsNoCase(name, "content")) return false;
            decided = ValueSatisfies(value);
            return true;
          },
          nullptr, &memo_);
      return decided.value_or(false);
    });
  }

  const ExpressionNode& leaf_;
  std::string_view text_;
  PageScanMemo memo_;
  std::optional<SearchExpression> valueExpression_;
  std::vector<std::pair<const ExpressionNode*, OccurrenceFinder>> finders_;
};

bool LeafCounts(const ExpressionNode& leaf, std::string_view text) {
  if (leaf.IsTagTerm()) return TagTermMatcher(leaf, text).Counts();
  return FirstOccurrenceCounts(text, leaf.term);
}

}  // namespace

bool FirstOccurrenceCounts(std::string_view text, std::string_view term) {
  OccurrenceFinder finder(text, std::string(term));
  return OccursAsWordWithin(text, 0, text.size(), finder);
}

bool OccursAsWordWithin(std::string_view text, std::size_t begin, std::size_t end,
                        OccurrenceFinder& finder) {
  const std::size_t pos = finder.Within(begin, end);
  if (pos == kNotFound) return false;
  if (pos == begin) return true;
  const std::size_t after = pos + finder.TermSize();
  return after == end || !IsAsciiLetterOrDigit(text[after]);
}

void ResetMatches(ExpressionNode& node) {
  node.matched = false;
  node.seen = false;
  if (node.left) ResetMatches(*node.left);
  if (node.right) ResetMatches(*node.right);
}

void AccumulateMatches(ExpressionNode& node, std::string_view text) {
  if (node.IsLeaf()) {
    if (node.matched) return;
    if (node.negated && node.seen) return;  // nothing more to learn from this term
    if (!LeafCounts(node, text)) return;
    (node.negated ? node.seen : node.matched) = true;
    return;
  }
  if (!node.left || !node.right) return;
  AccumulateMatches(*node.left, text);
  AccumulateMatches(*node.right, text);
  const bool now = node.op == kAndOperator ? node.left->matched && node.right->matched
                                           : node.left->matched || node.right->matched;
  node.matched = node.matched || now;
}

bool MatchExpression(ExpressionNode& node, std::string_view text) {
  ResetMatches(node);
  AccumulateMatches(node, text);
  return node.matched;
}

bool FinalMatch(const ExpressionNode& node) {
  if (node.IsLeaf()) return node.negated ? !node.seen : node.matched;
  if (!node.left || !node.right) return false;
  const bool left = FinalMatch(*node.left);
  const bool right = FinalMatch(*node.right);
  return node.op == kAndOperator ? left && right : left || right;
}

}  // namespace trovelane
