// The sites the delivered plug-ins search, served by the sample server
// under "/site/<plug-in>/": each answers the plug-in's query path with
// result pages in that site's own layout (its markers, its paging and its
// endings) over the sample corpus. A plug-in finds its site when the file
// "plugins/<plug-in>.site" in the install folder holds PluginSiteRoot.
#pragma once

#include <string>
#include <vector>

#include "tools/sample_engines/corpus.h"
#include "tools/sample_engines/http_server.h"
#include "tools/sample_engines/query.h"

namespace trovelane::sample {

struct PluginSite {
  std::string plugin;       // library name without ".so": "plgpages"
  std::string displayName;  // what its QMGetPluginName answers
  std::string engineName;   // what its results carry
  int pageSize = 10;        // results a page
  bool validates = true;    // false: results are never validated
};

// The seven sites, in the order of the delivered plug-ins.
const std::vector<PluginSite>& PluginSites();

// "http://127.0.0.1:port/site/<plug-in>" for a server reached at `base`.
std::string PluginSiteRoot(const std::string& base, const std::string& plugin);

// The plug-in whose site `path` belongs to, or empty.
std::string PluginSiteOf(const std::string& path);

// The result pages one query gives on a site: the corpus pages that match,
// in corpus order, at most `maxPages` pages of the site's page size.
std::vector<const CorpusPage*> PluginSiteResults(const PluginSite& site, const Corpus& corpus,
                                                 const std::string& queryText, int maxPages);

// Answers a request to the site of `plugin`. `base` is the server's
// "http://127.0.0.1:port"; results link to its corpus pages.
HttpResponse ServePluginSite(const std::string& plugin, const HttpRequest& request,
                             const QueryPairs& params, const Corpus& corpus,
                             const std::string& base, int maxPages);

// The query text a plug-in sent, as the site reads it: form decoding, the
// operators "+" (AND), "+AND+", "+OR+", "+NOT+" and "-" become words.
std::string PluginQueryText(const std::string& decoded);

}  // namespace trovelane::sample
