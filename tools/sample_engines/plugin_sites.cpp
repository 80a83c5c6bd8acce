#include "tools/sample_engines/plugin_sites.h"

#include <algorithm>

#include "results/html_export.h"

namespace trovelane::sample {
namespace {

const PluginSite* FindSite(const std::string& plugin) {
  for (const PluginSite& site : PluginSites()) {
    if (site.plugin == plugin) return &site;
  }
  return nullptr;
}

std::string Param(const QueryPairs& params, std::string_view name) {
  const std::string* value = FindValue(params, name);
  return value ? *value : std::string();
}

// A 1-based start or 0-based offset parameter, bounded.
int Number(const QueryPairs& params, std::string_view name, int fallback) {
  const std::string text = Param(params, name);
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) {
    return fallback;
  }
  return std::stoi(text);
}

std::string Href(const std::string& base, const CorpusPage& page) { return base + page.path; }

// A short synopsis of a page: its first words; empty for every fifth page,
// as some entries of the download library have none.
std::string Synopsis(const CorpusPage& page) {
  if (page.id % 5 == 0) return "";
  std::string text;
  for (size_t i = 0; i < page.words.size() && i < 4; ++i) {
    if (!text.empty()) text += ' ';
    text += page.words[i].word;
  }
  return text;
}

struct Listing {
  std::vector<const CorpusPage*> shown;  // this page's results
  int first = 0;                         // 0-based index of the first
  int total = 0;                         // every result of the query
  bool more = false;                     // a further page exists
};

Listing List(const PluginSite& site, const Corpus& corpus, const std::string& query, int first,
             int maxPages) {
  Listing listing;
  std::vector<const CorpusPage*> all = PluginSiteResults(site, corpus, query, maxPages);
  listing.total = static_cast<int>(all.size());
  listing.first = std::max(first, 0);
  for (int i = listing.first; i < listing.total && i < listing.first + site.pageSize; ++i) {
    listing.shown.push_back(all[static_cast<size_t>(i)]);
  }
  listing.more = listing.first + site.pageSize < listing.total;
  return listing;
}

HttpResponse Html(std::string body) {
  HttpResponse response;
  response.body = std::move(body);
  return response;
}

HttpResponse Pages(const PluginSite& site, const QueryPairs& params, const Corpus& corpus,
                   const std::string& base, int maxPages) {
  const std::string query = Param(params, "p");
  const Listing list = List(site, corpus, query, Number(params, "b", 1) - 1, maxPages);
  std::string html = "<html><head><title>Search results</title></head><body>\n"
                     "<font size=\"+1\" face=arial><b>Yahoo! plgpages Web Site Matches &nbsp;</b>"
                     "</font> (" + std::to_string(list.total) + ")<ul>\n";
  for (const CorpusPage* page : list.shown) {
    html += "<li><img src=\"/dot.gif\" alt=\"\"><font face=arial><a href=\"" + Href(base, *page) +
            "\">" + EscapeHtml(page->title) + "</a></font> - <i>" + std::to_string(page->id) +
            "</i>\n";
  }
  html += "</ul>\n<table BGCOLOR=000000 border=0 cellpadding=0 cellspacing=0><tr><td></td></tr>"
          "</table>\n";
  if (list.more) {
    html += "<table><tr><td><a href=\"/site/plgpages/search?p=" + PercentEncode(query) +
            "&o=i&h=s&b=" + std::to_string(list.first + site.pageSize + 1) +
            "\">Next " + std::to_string(site.pageSize) + " Matches</a></td></tr></table>\n";
  }
  return Html(html + "</body></html>\n");
}

HttpResponse Research(const PluginSite& site, const QueryPairs& params, const Corpus& corpus,
                      const std::string& base, int maxPages) {
  const std::string query = Param(params, "qr");
  const Listing list = List(site, corpus, query, Number(params, "s", 1) - 1, maxPages);
  std::string html = "<html><body><h3>Search results</h3>\n<!--NLResultListStart-->\n";
  int rank = list.first;
  for (const CorpusPage* page : list.shown) {
    html += "<!--NLResultStart--><table><tr><td>" + std::to_string(++rank) +
            ".</td><td><a href=\"" + Href(base, *page) + "\"><b>" + EscapeHtml(page->title) +
            "</b></a><br>\n<small>page " + std::to_string(page->id) +
            "</small></td></tr></table><!--NLResultEnd-->\n";
  }
  html += "<!--NLResultListEnd-->\n";
  if (list.more) {
    html += "<!-- No next results --><a href=\"/site/plgresearch/nlquery.fcg?cb=0&qr=" +
            PercentEncode(query) + "&s=" + std::to_string(list.first + site.pageSize + 1) +
            "\">Next page</a>\n";
  }
  return Html(html + "</body></html>\n");
}

HttpResponse Downloads(const PluginSite& site, const QueryPairs& params, const Corpus& corpus,
                       const std::string& base, int maxPages) {
  const std::string query = Param(params, "Utext");
  const Listing list = List(site, corpus, query, Number(params, "mainnext", 0), maxPages);
  std::string html =
      "<HTML><BODY><TABLE><TR><TD><SPAN CLASS=\"res-barhead\">TITLE/SYNOPSIS</SPAN></TD></TR>\n";
  const std::string row = "<!-- " + std::string(58, '-') + " --><TR BGCOLOR=\"";
  for (const CorpusPage* page : list.shown) {
    html += row + "#FFFFFF\"><TD><A HREF=\"" + Href(base, *page) + "\"><B>" +
            EscapeHtml(page->title) + "</B></A><BR><SPAN CLASS=\"results\">" + Synopsis(*page) +
            "</SPAN></TD></TR>\n";
  }
  html += "</table>\n";
  if (list.more) {
    html += "<FORM NAME=\"Search_Next\" METHOD=\"GET\" ACTION=\"search.html\">"
            "<INPUT TYPE=hidden NAME=mainnext VALUE=" +
            std::to_string(list.first + site.pageSize) + "></FORM>\n";
  }
  return Html(html + "</BODY></HTML>\n");
}

HttpResponse Finance(const PluginSite& site, const QueryPairs& params, const Corpus& corpus,
                     const std::string& base, int maxPages) {
  const std::string query = Param(params, "i");
  const Listing list = List(site, corpus, query, Number(params, "f", 0), maxPages);
  const std::string self = "/site/plgfinance/forbes-finance/default.asp?i=" + PercentEncode(query) +
                           "&tid=0&f=";
  std::string html =
      "<html><head><script>var page = 1;</script></head><body>\n"
      "<b>Matching Web Pages in Finance</b><script>document.title = 'Finance';</script>\n"
      "<font face=arial>Showing " + std::to_string(list.first + 1) + " - " +
      std::to_string(list.first + static_cast<int>(list.shown.size())) + " of " +
      std::to_string(list.total) + " results</font><br>\n";
  for (const CorpusPage* page : list.shown) {
    html += "<a href=\"/site/plgfinance/go?url=" + Href(base, *page) + "&rank=" +
            std::to_string(page->id) + "\">" + EscapeHtml(page->title) + "</a><br>\n";
  }
  html += "<a href=\"/site/plgfinance/more?f=0\">more results</a><br>\n"
          "<a href=\"/site/plgfinance/bysite\">View all results from each site</a><br>\n";
  if (list.first > 0) {
    html += "<a href=\"" + self + std::to_string(list.first - site.pageSize) +
            "\">Previous 10</a> ";
  }
  html += "<a href=\"" + self + std::to_string(list.first + site.pageSize) + "\">Next 10</a>\n"
          "<p><a href=\"" + self + std::to_string(list.first + site.pageSize) +
          "\">Next 10</a> |\n"
          "<a href=\"" + base + "/pages/000.html\">Finance home</a></p>\n</body></html>\n";
  return Html(html);
}

// The business news, news and sports sites share one layout but for their markers.
HttpResponse News(const PluginSite& site, const QueryPairs& params, const Corpus& corpus,
                  const std::string& base, int maxPages) {
  const std::string query = Param(params, "qt");
  const Listing list = List(site, corpus, query, Number(params, "st", 1) - 1, maxPages);
  const std::string count = "<table><tr><td>Search</td></tr></table>\n<table><tr><td><b>" +
                            std::to_string(list.total) + "</b> documents found</td></tr></table>\n";
  // A named anchor without a link opens the list, as on the real pages.
  std::string anchors = "<a name=\"results\"></a>\n";
  for (const CorpusPage* page : list.shown) {
    anchors += "<a href=\"" + Href(base, *page) + "\">" + EscapeHtml(page->title) + "</a><br>\n";
  }
  const std::string next = "<a href=\"/site/" + site.plugin + "/query.html?qt=" +
                           PercentEncode(query) + "&st=" +
                           std::to_string(list.first + site.pageSize + 1) + "\">Next</a>\n";
  std::string html = "<html><body>\n";
  if (site.plugin == "plgsports") {
    html += "<!--=========== CONTENT ===========--><table><tr><td>Sports</td></tr></table>\n" +
            count + "<p>\n" + anchors + "<p>" + next;
  } else {
    if (site.plugin == "plgbiznews") html += "<!----BEGIN SEARCH RETURN CONTENT--->\n";
    html += "<div class=navbar><a href=\"/site/" + site.plugin + "/\">Home</a></div>\n" + count +
            "<div class=results>\n" + anchors +
            (site.plugin == "plgbiznews" ? "</div> <!-- class=results -->\n"
                                         : "</div> <!--class=results-->\n") +
            next;
  }
  return Html(html + "</body></html>\n");
}

}  // namespace

const std::vector<PluginSite>& PluginSites() {
  static const std::vector<PluginSite> sites = {
      {"plgpages", "plgpages", "plgpages", 20, true},
      {"plgfinance", "Forbes Finance", "ForbesFinder", 10, true},
      {"plgdownloads", "ZDNET Hotfiles", "ZDNET Hotfiles", 26, false},
      {"plgresearch", "Northern Light", "Northern Light", 10, true},
      {"plgbiznews", "plgnews Finance Network", "plgnews-FN", 10, true},
      {"plgnews", "plgnews.com", "plgnews.com", 10, true},
      {"plgsports", "plgnews Sports Illustrated", "plgnews-SI", 20, true},
  };
  return sites;
}

std::string PluginSiteRoot(const std::string& base, const std::string& plugin) {
  return base + "/site/" + plugin;
}

std::string PluginSiteOf(const std::string& path) {
  for (const PluginSite& site : PluginSites()) {
    if (path.starts_with("/site/" + site.plugin + "/")) return site.plugin;
  }
  return "";
}

std::string PluginQueryText(const std::string& decoded) {
  std::string text = decoded;
  std::replace(text.begin(), text.end(), '+', ' ');
  return text;
}

std::vector<const CorpusPage*> PluginSiteResults(const PluginSite& site, const Corpus& corpus,
                                                 const std::string& queryText, int maxPages) {
  std::vector<const CorpusPage*> pages;
  const size_t limit = static_cast<size_t>(std::max(maxPages, 1)) * static_cast<size_t>(site.pageSize);
  for (int id : corpus.Search(ParseTerms(PluginQueryText(queryText)))) {
    if (pages.size() >= limit) break;
    pages.push_back(&corpus.Pages()[static_cast<size_t>(id)]);
  }
  return pages;
}

HttpResponse ServePluginSite(const std::string& plugin, const HttpRequest& request,
                             const QueryPairs& params, const Corpus& corpus,
                             const std::string& base, int maxPages) {
  const PluginSite* site = FindSite(plugin);
  const std::string path = site ? request.path.substr(plugin.size() + 6) : "";
  if (site) {
    if (plugin == "plgpages" && path == "/search") return Pages(*site, params, corpus, base, maxPages);
    if (plugin == "plgresearch" && path == "/nlquery.fcg") {
      return Research(*site, params, corpus, base, maxPages);
    }
    if (plugin == "plgdownloads" && path == "/cgi-bin/texis/swlib/hotfiles/search.html") {
      return Downloads(*site, params, corpus, base, maxPages);
    }
    if (plugin == "plgfinance" && path == "/forbes-finance/default.asp") {
      return Finance(*site, params, corpus, base, maxPages);
    }
    if (path == "/query.html") return News(*site, params, corpus, base, maxPages);
  }
  HttpResponse response;
  response.status = 404;
  response.body = "<html><body>Not found</body></html>\n";
  return response;
}

}  // namespace trovelane::sample
