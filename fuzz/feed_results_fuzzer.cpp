// libFuzzer target: an RSS or Atom feed read as an engine's answer.
// Whatever comes, the reader returns without expanding an entity; a refused
// answer gives nothing, a read one at most kMaxApiResults results whose text
// is bounded, valid UTF-8 and free of control characters.
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
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  trovelane::EngineDefinition engine;
  engine.searchUrl = "https://feeds.example.org/query";
  engine.web.format = "feed";

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
