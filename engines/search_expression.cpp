#include "engines/search_expression.h"

#include <utility>
#include <vector>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

constexpr char kNotOperator = '!';

bool IsQuote(char c) { return c == '"' || c == '\''; }

// One token of the postfix form: an operator ('&', '|', '!'), or a term as
// typed, quotes included.
struct Token {
  char op = 0;
  std::string text;
};

// Converts text to postfix with an operator stack. AND and OR pop every AND,
// OR and NOT above the nearest "(" before they are pushed, which gives them
// one precedence and left grouping and lets NOT bind to the operand before
// it in postfix. None for an open quote or an unclosed "(".
std::optional<std::vector<Token>> ToPostfix(std::string_view text) {
  std::vector<Token> out;
  std::vector<char> stack;
  std::string pending;
  char openQuote = 0;

  auto flush = [&] {
    if (!pending.empty()) out.push_back({0, std::move(pending)});
    pending.clear();
  };

  for (const char c : text) {
    if (openQuote != 0) {
      pending.push_back(c);
      if (c == openQuote) {
        openQuote = 0;
        flush();
      }
      continue;
    }
    if (IsQuote(c)) {
      // Joins any word typed right before it: don"t is one word token.
      openQuote = c;
      pending.push_back(c);
      continue;
    }
    if (IsAsciiBlank(c)) {
      flush();
      continue;
    }
    switch (c) {
      case '(':
        flush();
        stack.push_back(c);
        break;
      case ')':
        flush();
        while (!stack.empty()) {
          const char top = stack.back();
          stack.pop_back();
          if (top == '(') break;
          out.push_back({top, {}});
        }
        break;
      case kAndOperator:
      case kOrOperator:
        flush();
        while (!stack.empty() && stack.back() != '(') {
          out.push_back({stack.back(), {}});
          stack.pop_back();
        }
        stack.push_back(c);
        break;
      case kNotOperator:
        flush();
        stack.push_back(c);
        break;
      default:
        pending.push_back(c);
    }
  }
  if (openQuote != 0) return std::nullopt;
  flush();
  while (!stack.empty()) {
    if (stack.back() == '(') return std::nullopt;
    out.push_back({stack.back(), {}});
    stack.pop_back();
  }
  return out;
}

// Cuts the next comma-separated field off the front of rest.
std::string_view TakeField(std::string_view& rest) {
  const std::size_t comma = rest.find(',');
  const std::string_view field = rest.substr(0, comma);
  rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
  return field;
}

// Fills a leaf from a term token. False for a tag term without tag or property.
bool FillLeaf(ExpressionNode& leaf, std::string_view token) {
  const bool quoted = token.size() >= 2 && IsQuote(token.front()) && token.back() == token.front();
  if (!quoted) {
    leaf.term = token;
    return true;
  }
  std::string_view inner = token.substr(1, token.size() - 2);
  leaf.exact = true;
  if (token.front() == '"') {
    leaf.term = inner;
    return true;
  }

  std::string_view first = TakeField(inner);
  std::string_view value;
  if (EqualsNoCase(first, kNoSendMarker)) {
    leaf.sendable = false;
    first = TakeField(inner);
    leaf.property = std::string(TakeField(inner));
    value = inner;  // the fourth field keeps its commas
  } else {
    leaf.property = std::string(TakeField(inner));
    value = TakeField(inner);  // the third field ends at a comma
  }
  leaf.tag = std::string(first);
  leaf.term = value;
  return !leaf.tag->empty() && !leaf.property->empty();
}

// Builds the tree from the postfix form read backwards: each operator or term
// takes the next free child slot, the right one first; "!" negates the next
// node created.
std::unique_ptr<ExpressionNode> BuildTree(const std::vector<Token>& postfix) {
  std::unique_ptr<ExpressionNode> root;
  ExpressionNode* open = nullptr;  // deepest operator node with a free slot
  bool negateNext = false;

  for (auto it = postfix.rbegin(); it != postfix.rend(); ++it) {
    if (it->op == kNotOperator) {
      negateNext = !negateNext;
      continue;
    }
    auto node = std::make_unique<ExpressionNode>();
    node->negated = negateNext;
    negateNext = false;
    node->op = it->op;
    if (node->IsLeaf() && !FillLeaf(*node, it->text)) return nullptr;

    ExpressionNode* placed = node.get();
    if (!root) {
      root = std::move(node);
    } else if (open == nullptr) {
      return nullptr;  // two operands without an operator between them
    } else {
      node->parent = open;
      (open->right ? open->left : open->right) = std::move(node);
    }

    if (!placed->IsLeaf()) {
      open = placed;
    } else {
      while (open != nullptr && open->left) open = open->parent;
    }
  }
  return root;
}

bool IsComplete(const ExpressionNode& node) {
  if (node.IsLeaf()) return !node.term.empty() && !node.left && !node.right;
  return node.left && node.right && IsComplete(*node.left) && IsComplete(*node.right);
}

// Pushes negations down to the leaves (De Morgan).
void ToNormalForm(ExpressionNode& node, bool inherited) {
  const bool negate = node.negated != inherited;
  if (node.IsLeaf()) {
    node.negated = negate;
    return;
  }
  if (negate) node.op = node.op == kAndOperator ? kOrOperator : kAndOperator;
  node.negated = false;
  ToNormalForm(*node.left, negate);
  ToNormalForm(*node.right, negate);
}

}  // namespace

std::unique_ptr<ExpressionNode> CopyExpressionTree(const ExpressionNode& node) {
  auto copy = std::make_unique<ExpressionNode>();
  copy->seen = node.seen;
  copy->matched = node.matched;
  copy->titleScore = node.titleScore;
  copy->textScore = node.textScore;
  copy->negated = node.negated;
  copy->exact = node.exact;
  copy->sendable = node.sendable;
  copy->op = node.op;
  copy->term = node.term;
  copy->tag = node.tag;
  copy->property = node.property;
  if (node.left) {
    copy->left = CopyExpressionTree(*node.left);
    copy->left->parent = copy.get();
  }
  if (node.right) {
    copy->right = CopyExpressionTree(*node.right);
    copy->right->parent = copy.get();
  }
  return copy;
}

SearchExpression::SearchExpression(std::unique_ptr<ExpressionNode> root) : root_(std::move(root)) {}

SearchExpression::SearchExpression(const SearchExpression& other)
    : root_(CopyExpressionTree(*other.root_)) {}

SearchExpression& SearchExpression::operator=(const SearchExpression& other) {
  if (this != &other) root_ = CopyExpressionTree(*other.root_);
  return *this;
}

std::optional<SearchExpression> ParseExpression(std::string_view text) {
  if (text.size() > kMaxExpressionLength) return std::nullopt;
  const auto postfix = ToPostfix(text);
  if (!postfix) return std::nullopt;
  auto root = BuildTree(*postfix);
  if (!root || !IsComplete(*root)) return std::nullopt;
  ToNormalForm(*root, false);
  return SearchExpression(std::move(root));
}

int ExpressionWeight(const ExpressionNode& node) {
  if (node.IsLeaf()) return node.IsTagTerm() ? 2 : 0;
  int weight = 0;
  for (const ExpressionNode* child : {node.left.get(), node.right.get()}) {
    if (child != nullptr) weight += ExpressionWeight(*child) + (child->IsTagTerm() ? 2 : 1);
  }
  return weight;
}

}  // namespace trovelane
