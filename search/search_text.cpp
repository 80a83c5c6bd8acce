#include "search/search_text.h"

#include "engines/html_scan.h"

namespace trovelane {
namespace {

bool IsOperatorOrParenthesis(char c) {
  return c == '&' || c == '|' || c == '!' || c == '(' || c == ')';
}

bool StartsWithLetterOrDigit(std::string_view text) {
  return !text.empty() && IsAsciiLetterOrDigit(text.front());
}

// Whether any term below node is sent to engines. An operator node's own
// flag is always set, so it cannot say whether all its terms are held back.
bool HasSendableTerm(const ExpressionNode& node) {
  if (node.IsLeaf()) return node.sendable;
  return (node.left && HasSendableTerm(*node.left)) || (node.right && HasSendableTerm(*node.right));
}

// An operator spelled as a word needs blanks around it; an empty one is a blank.
std::string SpacedOperator(std::string_view text) {
  if (text.empty()) return " ";
  if (StartsWithLetterOrDigit(text)) return " " + std::string(text) + " ";
  return std::string(text);
}

}  // namespace

std::string NormalizeSearchText(std::string_view text, int defaultOperator) {
  const char op = defaultOperator > 0 ? '|' : '&';
  std::string out;
  out.reserve(text.size());
  char last = 0;  // the last character copied outside quotes; 0 for none
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '"' || c == '\'') {
      // Copy the quoted stretch up to and including its closing quote.
      const std::size_t close = text.find(c, pos + 1);
      const std::size_t end = close == std::string_view::npos ? text.size() : close + 1;
      out.append(text.substr(pos, end - pos));
      last = text[end - 1];
      pos = end;
      continue;
    }
    if (!IsAsciiBlank(c)) {
      out.push_back(c);
      last = c;
      ++pos;
      continue;
    }
    std::size_t runEnd = pos;
    while (runEnd < text.size() && IsAsciiBlank(text[runEnd])) ++runEnd;
    if (runEnd == text.size()) break;  // trailing blanks are dropped
    if (!IsOperatorOrParenthesis(last) && !IsOperatorOrParenthesis(text[runEnd])) {
      out.push_back(op);
    } else {
      out.append(text.substr(pos, runEnd - pos));
    }
    pos = runEnd;
  }
  return out;
}

std::string RenderPlain(const ExpressionNode& node, std::string_view separator) {
  if (node.IsLeaf()) return node.sendable ? node.term : std::string();
  std::string out = node.left ? RenderPlain(*node.left, separator) : std::string();
  if (!out.empty()) out.append(separator);
  if (node.right) out += RenderPlain(*node.right, separator);
  return out;
}

std::string RenderWithOperators(const ExpressionNode& node, std::string_view andText,
                                std::string_view orText, std::string_view notText,
                                std::string_view exactText) {
  auto render = [&](const ExpressionNode& child) {
    return RenderWithOperators(child, andText, orText, notText, exactText);
  };
  if (node.IsLeaf()) {
    if (!node.sendable) return std::string();
    std::string out;
    if (node.negated) {
      out.append(notText);
      if (StartsWithLetterOrDigit(notText)) out.push_back(' ');
    }
    if (node.exact) {
      out.append(exactText).append(node.term).append(exactText);
    } else {
      out.append(node.term);
    }
    return out;
  }
  const bool leftSends = node.left && HasSendableTerm(*node.left);
  const bool rightSends = node.right && HasSendableTerm(*node.right);
  if (leftSends && rightSends) {
    return render(*node.left) + SpacedOperator(node.op == kAndOperator ? andText : orText) +
           render(*node.right);
  }
  if (leftSends) return render(*node.left);
  if (rightSends) return render(*node.right);
  return std::string();
}

}  // namespace trovelane
