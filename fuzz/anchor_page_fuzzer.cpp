// libFuzzer target: a whole result page read the way a search reads it -
// the form harvest of the Auto techniques, the engine's markers (result
// list, skipped blocks, the heading before each result), then every anchor
// from one "<A" to the next with one page memo - stays inside the page, keeps
// its bounds, and gives what reading each anchor on its own gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engines/anchor_parser.h"
#include "engines/engine_definition.h"
#include "engines/form_values.h"
#include "engines/html_scan.h"
#include "engines/page_marker.h"
#include "engines/result_link.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  const std::string_view page(reinterpret_cast<const char*>(data), size);

  trovelane::EngineDefinition engine;
  for (const char* name : {"start", "q", "NAME", "s"}) {
    trovelane::EngineParameter parameter;
    parameter.name = name;
    parameter.roleCode = trovelane::RESULT_POSITION;
    engine.parameters.push_back(parameter);
  }
  trovelane::HarvestFormValues(engine, page);
  for (const trovelane::EngineParameter& p : engine.parameters) {
    Check(p.found == 0 || p.currentValue.size() <= trovelane::kMaxFormFieldLength);
  }

  trovelane::EngineExtensions web;
  web.resultListStart = "ul.r";
  const trovelane::ResultList list = trovelane::FindResultList(page, web);
  Check(list.begin <= list.end && list.end <= page.size());
  web.resultListStart = "<div id=results";
  web.resultListEnd = "div.end#x";
  const trovelane::ResultList literal = trovelane::FindResultList(page, web);
  Check(literal.begin <= literal.end && literal.end <= page.size());
  trovelane::SkippedBlocks blocks(
      page, {trovelane::ParsePageMarker("div.ad"), trovelane::ParsePageMarker("<aside")});
  std::size_t previousEnd = 0;
  for (const auto& [begin, end] : blocks.ranges()) {
    Check(begin >= previousEnd && begin < end && end <= page.size());
    previousEnd = end;
  }
  const trovelane::PageMarker heading = trovelane::ParsePageMarker("h2.t");

  trovelane::AnchorPageMemo memo;
  std::string url, text, plainUrl, plainText;
  for (std::size_t pos = 0; pos < page.size();) {
    const std::size_t hit = trovelane::FindNoCase(page.substr(pos), "<A");
    if (hit == trovelane::kNotFound) break;
    pos += hit;
    (void)blocks.Holds(pos);
    (void)trovelane::MarkerStandsBefore(page, pos, heading);
    const std::size_t used = trovelane::ParseAnchor(page, pos, url, text, memo);
    const std::size_t plain = trovelane::ParseAnchor(page, pos, plainUrl, plainText);
    Check(used == plain && url == plainUrl && text == plainText);
    Check(used <= page.size() - pos);
    Check(url.size() <= trovelane::kMaxLinkLength);
    Check(text.size() <= trovelane::kMaxAnchorTextLength);
    pos += used == 0 ? 1 : used;
  }
  return 0;
}
