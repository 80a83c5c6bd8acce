// plgbiznews: a business news search. Pages go through the spool file; the
// first page tells how many results there are (at most 100 are taken), and
// pages of ten are requested while that count is not used up. Every anchor
// of the results section is a result.
#include "plugins/common/news_search.h"

namespace {

using namespace trovelane::plugin;

constexpr const char* kName = "plgnews Finance Network";

PluginState state;

const NewsLayout kLayout = {
    "plgnews-FN",
    10,
    100,
    "/query.html?col=plgbiznews&ht=0&qp=&qs=&qc=plgbiznews&pw=100%25&ws=0&la=&si=1&fs=&qt=",
    "&ex=&rq=0&oq=&qm=1&ql=&st=",
    "&nh=10&lk=2&rf=1",
    {"<!----BEGIN SEARCH RETURN CONTENT--->", "<div class=navbar>"},
    {"<div class=results>", "</div> <!-- class=results -->"},
};

int32_t Iterate(const char* query) { return IterateNewsSearch(state, kLayout, query); }

}  // namespace

TROVELANE_PLUGIN_EXPORTS(kName, true, "plgbiznews", "http://plgbiznews.invalid", "+AND+", "+OR+",
                         "+NOT+", "%22")
