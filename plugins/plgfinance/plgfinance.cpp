// plgfinance: a finance search. Pages go through the spool file; the first
// page tells how many results there are, and pages of ten are requested
// while that count is not used up. Every anchor of the list is a result
// except the paging and grouping links.
#include <string>

#include "plugins/common/plugin_kit.h"

namespace {

using namespace trovelane::plugin;

constexpr const char* kName = "Forbes Finance";
constexpr const char* kEngineName = "ForbesFinder";
constexpr int kPageStep = 10;

PluginState state;

bool Skipped(const std::string& text) {
  return text == "more results" || text.find("Previous 10") != std::string::npos ||
         text.find("Next 10") != std::string::npos ||
         text.find("View all results from each site") != std::string::npos;
}

int32_t Iterate(const char* query) {
  if (state.reportedCount < static_cast<long>(kPageStep) * state.pageCounter) return 0;
  const std::string url = state.site.root + "/forbes-finance/default.asp?i=" + query +
                          "&tid=0&f=" + std::to_string(kPageStep * state.pageCounter);
  const bool first = state.pageCounter == 0;
  ++state.pageCounter;
  if (!FetchToSpool(state, url)) return 0;

  std::string& page = state.page;
  const size_t matching = Find(page, "Matching Web Pages in Finance", 0);
  const size_t q = matching == npos ? npos : Find(page, "</script>", matching);
  if (q == npos) {
    ReleasePage(state);
    return 0;
  }
  if (first) {
    const size_t font = Find(page, "<font", q);
    const size_t close = font == npos ? npos : Find(page, ">", font);
    const size_t of = close == npos ? npos : Find(page, "of", close);
    if (of == npos) {
      ReleasePage(state);
      return 0;
    }
    const size_t digits = std::min(of + 3, page.size());
    state.reportedCount = LeadingNumber(std::string_view(page).substr(digits));
  }
  const size_t next1 = Find(page, "Next 10", q);
  const size_t next2 = next1 == npos ? npos : Find(page, "Next 10", next1 + 1);
  if (next2 == npos) {
    ReleasePage(state);
    return 0;
  }
  {
    // The list ends with the second "Next 10" link; the page is cut there.
    std::lock_guard guard(state.lock);
    page.resize(std::min(next2 + 13, page.size()));
  }
  const int32_t mode = state.context->getValidationMode(state.context);
  const int32_t more = WalkAnchors(state, page.c_str() + q, mode, kEngineName,
                                   [](std::string& link, std::string& text) {
                                     if (Skipped(text)) return false;
                                     const size_t at = link.find("url=");
                                     if (at != std::string::npos) {
                                       const size_t amp = link.find('&', at + 4);
                                       link = link.substr(at + 4, amp == std::string::npos
                                                                      ? std::string::npos
                                                                      : amp - at - 4);
                                     }
                                     return true;
                                   });
  ReleasePage(state);
  return more;
}

}  // namespace

TROVELANE_PLUGIN_EXPORTS(kName, true, "plgfinance", "http://plgfinance.invalid", "+AND+", "+OR+",
                         "+NOT+", "%22")
