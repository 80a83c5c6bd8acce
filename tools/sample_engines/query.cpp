#include "tools/sample_engines/query.h"

#include <cctype>

#include "platform/ascii.h"

namespace trovelane::sample {

namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
               HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string PercentEncode(std::string_view text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (IsWordChar(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

QueryPairs ParseQuery(std::string_view query, std::string_view separators) {
  QueryPairs pairs;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find_first_of(separators, start);
    if (end == std::string_view::npos) end = query.size();
    std::string_view piece = query.substr(start, end - start);
    if (!piece.empty()) {
      size_t eq = piece.find('=');
      if (eq == std::string_view::npos) {
        pairs.emplace_back(PercentDecode(piece), std::string());
      } else {
        pairs.emplace_back(PercentDecode(piece.substr(0, eq)), PercentDecode(piece.substr(eq + 1)));
      }
    }
    start = end + 1;
  }
  return pairs;
}

const std::string* FindValue(const QueryPairs& pairs, std::string_view name) {
  for (const auto& [n, v] : pairs) {
    if (n == name) return &v;
  }
  return nullptr;
}

TermQuery ParseTerms(std::string_view text) {
  TermQuery query(1);
  bool negateNext = false;
  size_t i = 0;
  auto isGap = [](char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')' || c == '&';
  };
  while (i < text.size()) {
    char c = text[i];
    if (isGap(c)) {
      ++i;
      continue;
    }
    if (c == '|') {
      query.emplace_back();
      ++i;
      continue;
    }
    bool negated = negateNext;
    negateNext = false;
    while (i < text.size() && (text[i] == '-' || text[i] == '!')) {
      negated = true;
      ++i;
    }
    if (i >= text.size()) break;
    std::string word;
    if (text[i] == '"') {
      size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos) close = text.size();
      word = Lower(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      size_t end = i;
      while (end < text.size() && !isGap(text[end]) && text[end] != '|' && text[end] != '"') ++end;
      std::string_view raw = text.substr(i, end - i);
      i = end;
      if (raw == "OR") {
        query.emplace_back();
        continue;
      }
      if (raw == "AND") continue;
      if (raw == "NOT") {
        negateNext = true;
        continue;
      }
      word = Lower(raw);
    }
    if (!word.empty()) query.back().push_back({word, negated});
  }
  std::erase_if(query, [](const auto& group) { return group.empty(); });
  return query;
}

bool ContainsWords(std::string_view lowerText, std::string_view term) {
  if (term.empty()) return false;
  for (size_t at = lowerText.find(term); at != std::string_view::npos;
       at = lowerText.find(term, at + 1)) {
    size_t after = at + term.size();
    bool startOk = at == 0 || !IsWordChar(lowerText[at - 1]);
    bool endOk = after == lowerText.size() || !IsWordChar(lowerText[after]);
    if (startOk && endOk) return true;
  }
  return false;
}

bool Matches(const TermQuery& query, std::string_view lowerText) {
  for (const auto& group : query) {
    bool all = true;
    bool anyPositive = false;
    for (const auto& term : group) {
      anyPositive = anyPositive || !term.negated;
      if (ContainsWords(lowerText, term.text) == term.negated) {
        all = false;
        break;
      }
    }
    // A group of negations alone would list the whole corpus: it lists nothing.
    if (all && anyPositive) return true;
  }
  return false;
}

}  // namespace trovelane::sample
