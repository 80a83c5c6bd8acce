// trovelane-cli parse and match: the search expression on its own, without
// engines. parse shows what a typed expression becomes; match tells whether
// saved pages satisfy it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/typed_expression.h"
#include "engines/expression_match.h"
#include "engines/html_scan.h"
#include "engines/search_expression.h"
#include "search/search_text.h"

namespace trovelane::cli {
namespace {

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return false;
  char buffer[64 * 1024];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) out.append(buffer, got);
  return !std::ferror(file.get());
}

void PrintTree(std::ostream& out, const ExpressionNode& node, int depth) {
  out << std::string(2 * depth, ' ');
  if (!node.IsLeaf()) {
    out << (node.op == kAndOperator ? "AND" : "OR") << "\n";
    if (node.left) PrintTree(out, *node.left, depth + 1);
    if (node.right) PrintTree(out, *node.right, depth + 1);
    return;
  }
  if (node.negated) out << "NOT ";
  if (node.IsTagTerm()) {
    out << "tag " << *node.tag << " " << *node.property << " \"" << node.term << "\"";
  } else {
    out << (node.exact ? "phrase" : "word") << " \"" << node.term << "\"";
  }
  std::vector<std::string> flags;
  if (node.exact) flags.emplace_back("exact");
  if (!node.sendable) flags.emplace_back("not sent");
  if (!flags.empty()) {
    out << " [";
    for (std::size_t i = 0; i < flags.size(); ++i) out << (i ? ", " : "") << flags[i];
    out << "]";
  }
  out << "\n";
}

void RunParse(const std::vector<std::string>& words, bool defaultOr) {
  std::string normalized;
  const SearchExpression expression =
      ParseTypedExpression(JoinWords(words), defaultOr ? 1 : 0, &normalized);
  const std::string plain = RequireSendableTerms(expression);
  std::cout << "normalized: " << normalized << "\n";
  std::cout << "tree:\n";
  PrintTree(std::cout, expression.Root(), 1);
  std::cout << "weight: " << ExpressionWeight(expression.Root()) << "\n";
  std::cout << "plain: " << plain << "\n";
}

void RunMatch(const std::string& typed, const std::vector<std::string>& files) {
  SearchExpression expression = ParseTypedExpression(typed, 0);
  bool allMatch = true;
  for (const std::string& path : files) {
    std::string page;
    if (!ReadWholeFile(path, page)) {
      std::cerr << path << ": cannot be read: " << std::strerror(errno) << "\n";
      allMatch = false;
      continue;
    }
    ResetMatches(expression.Root());
    AccumulateMatches(expression.Root(), page);
    const bool matches = FinalMatch(expression.Root());
    std::cout << path << ": " << (matches ? "match" : "no match") << "\n";
    allMatch = allMatch && matches;
  }
  if (!allMatch) throw CLI::RuntimeError(1);
}

}  // namespace

void AddExpressionCommands(CLI::App& app, GlobalOptions& /*global*/) {
  struct Options {
    std::vector<std::string> parseWords;
    bool defaultOr = false;
    std::string matchExpression;
    std::vector<std::string> matchFiles;
  };
  auto options = std::make_shared<Options>();

  CLI::App* parse = app.add_subcommand(
      "parse", "Show what a search expression becomes: normalized text, tree, weight, plain text");
  parse->add_flag("--or", options->defaultOr, "Join blank-separated terms with OR instead of AND");
  parse->add_option("EXPRESSION", options->parseWords, "The search expression")->required();
  parse->callback([options] { RunParse(options->parseWords, options->defaultOr); });

  CLI::App* match = app.add_subcommand(
      "match", "Tell for each file whether its text satisfies the expression (exit 0: all do)");
  match->add_option("EXPRESSION", options->matchExpression, "The search expression")->required();
  match->add_option("FILE", options->matchFiles, "Saved pages")->required();
  match->callback([options] { RunMatch(options->matchExpression, options->matchFiles); });
}

}  // namespace trovelane::cli
