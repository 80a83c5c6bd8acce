#include "engines/expression_match.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

// The first occurrence of a term at or after a position of one text. The
// last answer is remembered: it holds for every later position up to it, so
// while the positions asked for rise the text is searched about once.
class OccurrenceFinder {
 public:
  OccurrenceFinder(std::string_view text, std::string term) : text_(text), term_(std::move(term)) {}

  std::size_t From(std::size_t at) {
    if (!(searchedFrom_ != kNotFound && at >= searchedFrom_ && at <= found_)) {
      const std::size_t hit = FindNoCase(text_.substr(at), term_);
      searchedFrom_ = at;
      found_ = hit == kNotFound ? kNotFound : at + hit;
    }
    return found_;
  }

  // The first occurrence inside [begin, end), or kNotFound. Occurrences have
  // one length, so when the first one from begin runs past end, none fits.
  std::size_t Within(std::size_t begin, std::size_t end) {
    const std::size_t pos = From(begin);
    return pos != kNotFound && pos + term_.size() <= end ? pos : kNotFound;
  }

  std::size_t TermSize() const { return term_.size(); }

 private:
  std::string_view text_;
  std::string term_;
  std::size_t searchedFrom_ = kNotFound;
  std::size_t found_ = kNotFound;
};

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

class TagTermMatcher {
 public:
  explicit TagTermMatcher(const ExpressionNode& leaf)
      : leaf_(leaf), valueExpression_(ParseExpression(leaf.term)) {}

  bool Counts(std::string_view text) {
    if (EqualsNoCase(*leaf_.tag, kMetaNameTag)) return MetaCounts(text, "NAME");
    if (EqualsNoCase(*leaf_.tag, kMetaEquivTag)) return MetaCounts(text, "HTTP-EQUIV");
    if (EqualsNoCase(*leaf_.property, kInnerTextProperty)) return InnerTextCounts(text);
    return AttributeCounts(text);
  }

 private:
  // A value expression decides when the term parsed as one; otherwise the
  // value must equal the term.
  bool ValueSatisfies(std::string_view value) {
    if (valueExpression_) return MatchExpression(valueExpression_->Root(), value);
    return EqualsNoCase(value, leaf_.term);
  }

  bool AttributeCounts(std::string_view text) {
    const std::string open = "<" + *leaf_.tag;
    return AnyOccurrence(text, open, [&](std::size_t at) {
      return AnyTagAttribute(text, at + open.size(),
                             [&](const std::string& name, const std::string& value) {
                               return EqualsNoCase(name, *leaf_.property) && ValueSatisfies(value);
                             });
    });
  }

  // The inner text of each occurrence as GetInnerText gives it, tested in
  // place: the value expression's positive result, or else the term with no
  // letter right before or after it. Inner texts often overlap (every <BR>
  // runs to the next </B or </BODY), so the closing tag and the occurrences
  // of each term are looked up through remembered searches instead of
  // searching each inner text anew.
  bool InnerTextCounts(std::string_view text) {
    const std::string open = "<" + *leaf_.tag;
    OccurrenceFinder closing(text, "</" + *leaf_.tag);
    std::vector<std::pair<const ExpressionNode*, OccurrenceFinder>> finders;
    if (valueExpression_) {
      ForEachLeaf(valueExpression_->Root(), [&](const ExpressionNode& leaf) {
        finders.emplace_back(&leaf, OccurrenceFinder(text, leaf.term));
      });
    } else {
      finders.emplace_back(&leaf_, OccurrenceFinder(text, leaf_.term));
    }
    return AnyOccurrence(text, open, [&](std::size_t at) {
      const std::size_t tagEnd = FindTagEnd(text.substr(at));
      if (tagEnd == kNotFound) return false;
      const std::size_t begin = at + tagEnd + 1;
      const std::size_t end = closing.From(begin);
      if (end == kNotFound) return false;
      if (!valueExpression_) return IsWordInInnerText(text, begin, end, finders[0].second);
      auto leafCounts = [&](const ExpressionNode& leaf) {
        for (auto& [node, finder] : finders) {
          if (node == &leaf) return CountsInInnerText(text, begin, end, finder);
        }
        return false;
      };
      return PositiveResult(valueExpression_->Root(), leafCounts);
    });
  }

  // The word rule on the inner text [begin, end) of text.
  static bool CountsInInnerText(std::string_view text, std::size_t begin, std::size_t end,
                                OccurrenceFinder& finder) {
    const std::size_t pos = finder.Within(begin, end);
    if (pos == kNotFound) return false;
    if (pos == begin) return true;
    const std::size_t after = pos + finder.TermSize();
    return after == end || !IsAsciiLetterOrDigit(text[after]);
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
  bool MetaCounts(std::string_view text, std::string_view keyAttribute) {
    constexpr std::string_view kMeta = "<META";
    return AnyOccurrence(text, kMeta, [&](std::size_t at) {
      bool keySeen = false;
      std::optional<bool> decided;
      AnyTagAttribute(
          text, at + kMeta.size(), [&](const std::string& name, const std::string& value) {
            if (!keySeen) {
              keySeen = EqualsNoCase(name, keyAttribute) && EqualsNoCase(value, *leaf_.property);
              return false;
            }
            if (!EqualsNoCase(name, "content")) return false;
            decided = ValueSatisfies(value);
            return true;
          });
      return decided.value_or(false);
    });
  }

  const ExpressionNode& leaf_;
  std::optional<SearchExpression> valueExpression_;
};

bool LeafCounts(const ExpressionNode& leaf, std::string_view text) {
  if (leaf.IsTagTerm()) return TagTermMatcher(leaf).Counts(text);
  return FirstOccurrenceCounts(text, leaf.term);
}

}  // namespace

bool FirstOccurrenceCounts(std::string_view text, std::string_view term) {
  const std::size_t pos = FindNoCase(text, term);
  if (pos == kNotFound) return false;
  if (pos == 0) return true;
  const std::size_t end = pos + term.size();
  return end == text.size() || !IsAsciiLetterOrDigit(text[end]);
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
