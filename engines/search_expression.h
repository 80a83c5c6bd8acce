// The search expression: the user's boolean query parsed into a binary tree.
//
// Syntax: blanks separate terms; "&" is AND, "|" OR, "!" NOT (prefix), "(" and
// ")" group. AND and OR have the same precedence and group from the left, so
// a | b & c means (a | b) & c. Text in double quotes is one phrase. Text in
// single quotes is a tag term, tag,property,value or QMNOSEND,tag,property,
// value:
//   'TITLE,QMINNERTEXT,offer'       the text inside some TITLE element
//   'A,HREF,travel'                 the HREF attribute of some A tag
//   'METANAME,keywords,travel'      the content of <META NAME="keywords">
//   'METAEQUIV,refresh,5'           the same with HTTP-EQUIV
// and QMNOSEND in front keeps a term out of the engine queries (it is only
// matched against pages). A quote opens its section wherever it stands, also
// inside a word. The parser wants explicit operators between terms;
// NormalizeSearchText (search/search_text.h) inserts the default operator
// into typed text first.
//
// After parsing the tree is in negation normal form: NOT has been pushed down
// to the terms, so only leaves are negated.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace trovelane {

// Longest text ParseExpression accepts, in bytes; longer text is refused.
inline constexpr std::size_t kMaxExpressionLength = 1023;

inline constexpr char kAndOperator = '&';
inline constexpr char kOrOperator = '|';

// Field values of tag terms with a special meaning (any case).
inline constexpr std::string_view kNoSendMarker = "QMNOSEND";
inline constexpr std::string_view kInnerTextProperty = "QMINNERTEXT";
inline constexpr std::string_view kMetaNameTag = "METANAME";
inline constexpr std::string_view kMetaEquivTag = "METAEQUIV";

// One node of the tree. An operator node has op set and two children; a leaf
// has op 0, a non-empty term and no children. A node owns its children.
struct ExpressionNode {
  // Match state (expression_match.h): both only ever go from false to true
  // until ResetMatches.
  bool seen = false;     // a negated term was found in the text
  bool matched = false;  // satisfied by the text accumulated so far

  // Relevance counters of a leaf, filled by relevance scoring.
  int titleScore = 0;
  int textScore = 0;

  bool negated = false;  // after parsing only leaves are negated
  bool exact = false;    // a quoted phrase; tag terms too, so their value is sent as one
  bool sendable = true;  // false for a tag term marked QMNOSEND

  char op = 0;       // kAndOperator, kOrOperator, or 0 for a leaf
  std::string term;  // a leaf's word, its phrase without quotes, or a tag term's value
  std::optional<std::string> tag;       // tag terms: tag name, METANAME or METAEQUIV
  std::optional<std::string> property;  // tag terms: attribute, QMINNERTEXT or META name

  std::unique_ptr<ExpressionNode> left;
  std::unique_ptr<ExpressionNode> right;
  ExpressionNode* parent = nullptr;

  bool IsLeaf() const { return op == 0; }
  bool IsTagTerm() const { return tag.has_value(); }
};

// Deep copy of a subtree, match state and counters included. The copy's root
// has no parent.
std::unique_ptr<ExpressionNode> CopyExpressionTree(const ExpressionNode& node);

// A parsed expression: owns a tree that is never empty. Copying copies the
// tree, so a worker can match its own copy while others match theirs.
class SearchExpression {
 public:
  // root must not be null.
  explicit SearchExpression(std::unique_ptr<ExpressionNode> root);
  SearchExpression(const SearchExpression& other);
  SearchExpression& operator=(const SearchExpression& other);
  // A moved-from expression may only be destroyed or assigned to.
  SearchExpression(SearchExpression&&) noexcept = default;
  SearchExpression& operator=(SearchExpression&&) noexcept = default;
  ~SearchExpression() = default;

  ExpressionNode& Root() { return *root_; }
  const ExpressionNode& Root() const { return *root_; }

 private:
  std::unique_ptr<ExpressionNode> root_;
};

// Parses text into a tree in normal form. None when the text is not a valid
// expression: empty, an open quote or "(", an operator without two operands,
// two terms without an operator, an empty phrase or value, a tag term with an
// empty tag or property, or more than kMaxExpressionLength bytes. A ")"
// without "(" is accepted. Any byte that is not a blank, operator,
// parenthesis or quote belongs to a word, NUL bytes included.
std::optional<SearchExpression> ParseExpression(std::string_view text);

// The size of the tree, which picks the automatic validation mode: a leaf
// weighs 2 when it is a tag term and 0 otherwise; an operator node the sum of
// its children's weights plus 1 for each child (2 for a tag-term child). A
// word weighs 0, "a & b" 2, "a & b & c" 4.
int ExpressionWeight(const ExpressionNode& node);

}  // namespace trovelane
