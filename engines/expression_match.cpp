#include "engines/expression_match.h"

#include <optional>
#include <string>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

// The word rule of plain terms: only the first occurrence is tested; it counts
// at the start of the text, or when no letter or digit follows it. What
// stands before it is not tested.
bool FirstOccurrenceCounts(std::string_view text, std::string_view term) {
  const std::size_t pos = FindNoCase(text, term);
  if (pos == kNotFound) return false;
  if (pos == 0) return true;
  const std::size_t end = pos + term.size();
  return end == text.size() || !IsAsciiLetterOrDigit(text[end]);
}

// The rule for a tag's inner text compared without a value expression: the
// first occurrence counts when no letter stands right before or after it.
bool FirstOccurrenceIsWordInInnerText(std::string_view text, std::string_view term) {
  const std::size_t pos = FindNoCase(text, term);
  if (pos == kNotFound) return false;
  if (pos > 0 && IsAsciiLetter(text[pos - 1])) return false;
  const std::size_t end = pos + term.size();
  return end == text.size() || !IsAsciiLetter(text[end]);
}

// Calls visit(name, value) for each attribute after `from` until one is not
// readable or visit returns true; returns whether one did. Reading stops at
// the end of the tag as well: at a ">" or "<" where the next name would
// begin, so text after the tag is never taken for its attributes.
template <typename Visit>
bool AnyAttribute(std::string_view text, std::size_t from, Visit visit) {
  std::string name;
  std::string value;
  std::size_t pos = from;
  for (;;) {
    while (pos < text.size() && IsAsciiBlank(text[pos])) ++pos;
    if (pos < text.size() && (text[pos] == '>' || text[pos] == '<')) return false;
    const std::size_t used = ParseTagAttribute(text.substr(pos), name, value);
    if (used == 0) return false;
    pos += used;
    if (visit(name, value)) return true;
  }
}

// Calls visit(position after the pattern) for each occurrence of pattern
// until visit returns true; returns whether one did.
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
      return AnyAttribute(text, at + open.size(),
                          [&](const std::string& name, const std::string& value) {
                            return EqualsNoCase(name, *leaf_.property) && ValueSatisfies(value);
                          });
    });
  }

  bool InnerTextCounts(std::string_view text) {
    const std::string open = "<" + *leaf_.tag;
    return AnyOccurrence(text, open, [&](std::size_t at) {
      const auto inner = GetInnerText(text.substr(at), *leaf_.tag);
      if (!inner) return false;
      if (valueExpression_) return MatchExpression(valueExpression_->Root(), *inner);
      return FirstOccurrenceIsWordInInnerText(*inner, leaf_.term);
    });
  }

  // Within one META tag, the first "content" attribute after the key pair
  // (key attribute naming the property) decides for that tag.
  bool MetaCounts(std::string_view text, std::string_view keyAttribute) {
    constexpr std::string_view kMeta = "<META";
    return AnyOccurrence(text, kMeta, [&](std::size_t at) {
      bool keySeen = false;
      std::optional<bool> decided;
      AnyAttribute(text, at + kMeta.size(), [&](const std::string& name, const std::string& value) {
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
