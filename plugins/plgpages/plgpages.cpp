// plgpages: a web-page directory search. Pages are held in memory; up to
// twenty results a page; later pages follow the link after the list.
#include "plugins/common/plugin_kit.h"

namespace {

using namespace trovelane::plugin;

constexpr const char* kName = "plgpages";
constexpr int kResultsPerPage = 20;

PluginState state;

int32_t Iterate(const char* query) {
  if (!FetchFirstOrNextPage(state, state.site.root + "/search?p=" + query + "&o=i&h=s")) return 0;

  std::string_view page = state.page;
  constexpr std::string_view kListStart =
      "<font size=\"+1\" face=arial><b>Yahoo! plgpages Web Site Matches &nbsp;";
  constexpr std::string_view kListEnd =
      "<table BGCOLOR=000000 border=0 cellpadding=0 cellspacing=0";
  const size_t listStart = Find(page, kListStart, 0);
  const size_t listEnd = listStart == npos ? npos : Find(page, kListEnd, listStart + kListStart.size());
  if (listEnd == npos) {
    ReleasePage(state);
    return 0;
  }
  HostContext* context = state.context;
  const int32_t mode = context->getValidationMode(context);
  size_t p = listStart + kListStart.size();
  for (int seen = 0; seen < kResultsPerPage; ++seen) {
    const size_t img = Find(page, "<img", p, listEnd);
    const size_t font = img == npos ? npos : Find(page, "<font", img, listEnd);
    const size_t href = font == npos ? npos : Find(page, "<a href=\"", font, listEnd);
    if (href == npos) break;
    const size_t urlStart = href + 9;
    const size_t urlEnd = Find(page, "\"", urlStart, listEnd);
    if (urlEnd == npos) break;
    const std::string link(page.substr(urlStart, urlEnd - urlStart));
    const size_t close = Find(page, ">", urlEnd, listEnd);
    const size_t textStart = close == npos ? listEnd : close + 1;
    size_t textEnd = FindNoCase(page, "</a", textStart, listEnd);
    if (textEnd == npos) textEnd = listEnd;
    const std::string text = CleanText(page.substr(textStart, textEnd - textStart));
    p = textEnd;
    if (OfferResult(state, mode, link, text, kName) == 0) {
      ReleasePage(state);
      return 0;
    }
  }

  const size_t end = Find(page, kListEnd, p);
  const size_t table = end == npos ? npos : Find(page, "<table", end + kListEnd.size());
  const size_t next = table == npos ? npos : Find(page, "<a href=\"", table);
  const size_t hrefEnd = next == npos ? npos : Find(page, "\"", next + 9);
  if (hrefEnd == npos) {
    ReleasePage(state);
    return 0;
  }
  state.nextUrl = state.site.origin + std::string(page.substr(next + 9, hrefEnd - next - 9));
  ReleasePage(state);
  return 1;
}

}  // namespace

TROVELANE_PLUGIN_EXPORTS(kName, false, "plgpages", "http://plgpages.invalid", "%2B", "+", "%20-",
                         "%22")
