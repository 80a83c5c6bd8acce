// plgresearch: a research search service. Pages are held in memory; up to
// ten results a page, each validated (when asked) with its own status line;
// later pages follow the page's next link.
#include "plugins/common/plugin_kit.h"

namespace {

using namespace trovelane::plugin;

constexpr const char* kName = "Northern Light";
constexpr int kResultsPerPage = 10;

PluginState state;

int32_t Iterate(const char* query) {
  if (!FetchFirstOrNextPage(state, state.site.root + "/nlquery.fcg?cb=0&qr=" + query)) return 0;

  std::string_view page = state.page;
  constexpr std::string_view kListStart = "<!--NLResultListStart--";
  constexpr std::string_view kListEnd = "<!--NLResultListEnd--";
  const size_t listStart = Find(page, kListStart, 0);
  const size_t listEnd = listStart == npos ? npos : Find(page, kListEnd, listStart + kListStart.size());
  if (listEnd == npos) {
    ReleasePage(state);
    return 0;
  }
  HostContext* context = state.context;
  const int32_t mode = context->getValidationMode(context);
  size_t p = listStart;
  for (int seen = 0; p < listEnd && seen < kResultsPerPage; ++seen) {
    const size_t start = Find(page, "<!--NLResultStart--", p, listEnd);
    const size_t end = start == npos ? npos : Find(page, "<!--NLResultEnd--", start, listEnd);
    if (end == npos) break;
    const size_t tr = Find(page, "<tr", start, end);
    const size_t td = tr == npos ? npos : Find(page, "<td", tr, end);
    const size_t td2 = td == npos ? npos : Find(page, "<td", td + 3, end);
    const size_t href = td2 == npos ? npos : Find(page, "<a href=\"", td2, end);
    if (href == npos) break;
    const size_t urlStart = href + 9;
    size_t urlEnd = Find(page, "\"", urlStart, end);
    if (urlEnd == npos) urlEnd = end;
    const std::string link(page.substr(urlStart, urlEnd - urlStart));
    const size_t close = Find(page, ">", urlEnd, end);
    const size_t textStart = close == npos ? end : close + 1;
    size_t textEnd = FindNoCase(page, "</a", textStart, end);
    if (textEnd == npos) textEnd = end;
    const std::string text = CleanText(page.substr(textStart, textEnd - textStart));
    p = textEnd;

    context->setStatus(context, ("Validating URL " + link + "...").c_str());
    if (OfferResult(state, mode, link, text, kName) == 0) {
      ReleasePage(state);
      return 0;
    }
  }

  constexpr std::string_view kNext = "<!-- No next results --><a href=\"";
  const size_t next = Find(page, kNext, p);
  if (next == npos) {
    ReleasePage(state);
    return 0;
  }
  const size_t hrefStart = next + kNext.size();
  size_t hrefEnd = Find(page, "\"", hrefStart);
  if (hrefEnd == npos) hrefEnd = page.size();
  state.nextUrl = state.site.origin + std::string(page.substr(hrefStart, hrefEnd - hrefStart));
  ReleasePage(state);
  return 1;
}

}  // namespace

TROVELANE_PLUGIN_EXPORTS(kName, false, "plgresearch", "http://plgresearch.invalid", "%2B", "+",
                         "%20-", "%22")
