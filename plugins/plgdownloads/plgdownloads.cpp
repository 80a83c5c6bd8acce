// plgdownloads: a software download library. Pages are held in memory; up
// to 26 rows a page, each a title with its synopsis; results are never
// validated; the page count goes in steps of 26.
#include <string>

#include "plugins/common/plugin_kit.h"

namespace {

using namespace trovelane::plugin;

constexpr const char* kName = "ZDNET Hotfiles";
constexpr int kResultsPerPage = 26;

PluginState state;

int32_t Iterate(const char* query) {
  const std::string url = state.site.root +
                          "/cgi-bin/texis/swlib/hotfiles/search.html?mainnext=" +
                          std::to_string(kResultsPerPage * state.pageCounter) + "&Utext=" + query +
                          "&search_max=26&b=";
  ++state.pageCounter;
  if (!FetchToMemory(state, url)) return 0;

  std::string_view page = state.page;
  constexpr std::string_view kListStart = "<SPAN CLASS=\"res-barhead\">TITLE/SYNOPSIS</SPAN></TD>";
  const size_t listStart = Find(page, kListStart, 0);
  const size_t listEnd = listStart == npos ? npos : Find(page, "</table", listStart + kListStart.size());
  if (listEnd == npos) {
    ReleasePage(state);
    return 0;
  }
  const std::string rowMarker =
      "<!-- " + std::string(58, '-') + " --><TR BGCOLOR=\"";
  size_t p = listStart + kListStart.size();
  for (int seen = 0; seen < kResultsPerPage; ++seen) {
    const size_t row = Find(page, rowMarker, p, listEnd);
    const size_t rowEnd = row == npos ? npos : Find(page, "</TR", row + rowMarker.size(), listEnd);
    if (rowEnd == npos) break;
    p = rowEnd;
    const size_t href = Find(page, "<A HREF=\"", row, rowEnd);
    if (href == npos) break;
    const size_t urlStart = href + 9;
    const size_t urlEnd = Find(page, "\"", urlStart, rowEnd);
    if (urlEnd == npos) break;
    const std::string link(page.substr(urlStart, urlEnd - urlStart));
    const size_t close = Find(page, ">", urlEnd, rowEnd);
    const size_t titleStart = close == npos ? rowEnd : close + 1;
    size_t titleEnd = FindNoCase(page, "</a", titleStart, rowEnd);
    if (titleEnd == npos) titleEnd = rowEnd;
    std::string text(page.substr(titleStart, titleEnd - titleStart));
    text += " (";
    constexpr std::string_view kSynopsis = "<SPAN CLASS=\"results\"";
    const size_t span = Find(page, kSynopsis, titleEnd, rowEnd);
    const size_t spanClose = span == npos ? npos : Find(page, ">", span + kSynopsis.size(), rowEnd);
    if (spanClose != npos) {
      size_t synopsisEnd = FindNoCase(page, "</SPAN", spanClose + 1, rowEnd);
      if (synopsisEnd == npos) synopsisEnd = rowEnd;
      text += page.substr(spanClose + 1, synopsisEnd - spanClose - 1);
    }
    text += ")";
    if (OfferResult(state, QM_VALIDATION_NONE, link, CleanText(text), kName) == 0) {
      ReleasePage(state);
      return 0;
    }
  }
  const bool more = Find(page, "<FORM NAME=\"Search_Next\" METHOD=\"GET\"", listEnd) != npos;
  ReleasePage(state);
  return more ? 1 : 0;
}

}  // namespace

TROVELANE_PLUGIN_EXPORTS(kName, false, "plgdownloads", "http://plgdownloads.invalid", "%2B", "+",
                         "%20-", "%22")
