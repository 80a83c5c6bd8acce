#include "plugins/common/news_search.h"

#include <algorithm>
#include <string>

namespace trovelane::plugin {
namespace {

// Finds each marker after the one before; the position of the last, or npos.
size_t FindChain(std::string_view page, const std::vector<std::string_view>& markers, size_t from,
                 size_t* previous = nullptr) {
  size_t at = npos;
  for (size_t i = 0; i < markers.size(); ++i) {
    at = Find(page, markers[i], from);
    if (at == npos) return npos;
    if (previous && i + 2 == markers.size()) *previous = at;
    from = at + markers[i].size();
  }
  return at;
}

int32_t Fail(PluginState& state) {
  ReleasePage(state);
  return 0;
}

}  // namespace

int32_t IterateNewsSearch(PluginState& state, const NewsLayout& layout, const char* query) {
  const long n = state.pageCounter;
  if (state.reportedCount < layout.pageStep * n) return 0;
  const std::string url = state.site.root + layout.beforeQuery + query + layout.beforeOffset +
                          std::to_string(layout.pageStep * n + 1) + layout.afterOffset;
  const bool first = n == 0;
  ++state.pageCounter;
  if (!FetchToSpool(state, url)) return 0;

  std::string& page = state.page;
  const size_t sectionMark = FindChain(page, layout.sectionStart, 0);
  if (sectionMark == npos) return Fail(state);
  const size_t p = sectionMark + layout.sectionStart.back().size();

  if (first) {
    const size_t table = Find(page, "<table", p);
    const size_t table2 = table == npos ? npos : Find(page, "<table", table + 6);
    const size_t bold = table2 == npos ? npos : Find(page, "<b>", table2 + 6);
    if (bold == npos) return Fail(state);
    state.reportedCount = std::min(LeadingNumber(std::string_view(page).substr(bold + 3)),
                                   layout.countLimit);
  }

  size_t start = npos;
  const size_t end = FindChain(page, layout.results, p, &start);
  if (end == npos || start == npos) return Fail(state);
  {
    std::lock_guard guard(state.lock);
    page.resize(end);
  }
  const int32_t mode = state.context->getValidationMode(state.context);
  const int32_t more = WalkAnchors(state, page.c_str() + start, mode, layout.engineName,
                                   [](std::string&, std::string&) { return true; });
  ReleasePage(state);
  return more;
}

}  // namespace trovelane::plugin
