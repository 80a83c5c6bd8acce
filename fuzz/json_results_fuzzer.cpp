// libFuzzer target: a JSON answer read by an engine's paths. The input's
// first four lines are the paths (JRL, JUR, JTI, JSN), the rest the answer,
// so that the paths and URL templates are fuzzed with the answers they
// read. Whatever comes, the reader returns; a refused answer gives nothing,
// a read one at most kMaxApiResults results whose text is bounded, valid
// UTF-8 and free of control characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engines/anchor_parser.h"
#include "engines/api_results.h"
#include "platform/ascii.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string_view TakeLine(std::string_view& input) {
  const std::size_t end = input.find('\n');
  const std::string_view line = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return line;
}

bool PlainText(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return trovelane::IsValidUtf8(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  trovelane::EngineDefinition engine;
  engine.searchUrl = "https://api.example.org/search";
  engine.web.format = "json";
  engine.web.jsonResults = TakeLine(input);
  engine.web.jsonUrl = TakeLine(input);
  engine.web.jsonTitle = TakeLine(input);
  engine.web.jsonSnippet = TakeLine(input);

  std::vector<trovelane::ApiResult> results;
  const trovelane::Status status = trovelane::ReadApiResults(engine, input, results);
  Check(status.ok() || results.empty());
  Check(results.size() <= trovelane::kMaxApiResults);
  for (const trovelane::ApiResult& result : results) {
    Check(!result.url.empty() && result.url.size() <= trovelane::kMaxLinkLength);
    Check(!result.title.empty() && result.title.size() <= trovelane::kMaxAnchorTextLength);
    Check(result.snippet.size() <= trovelane::kMaxApiSnippetLength);
    Check(PlainText(result.title) && PlainText(result.snippet));
  }
  return 0;
}
