// plgsports: a sports news search. Pages go through the spool file; the
// first page tells how many results there are (at most 500 are taken), and
// pages of twenty are requested while that count is not used up. Every
// anchor between the two paragraph marks after the header tables is a result.
#include "plugins/common/news_search.h"

namespace {

using namespace trovelane::plugin;

constexpr const char* kName = "plgnews Sports Illustrated";

PluginState state;

const NewsLayout kLayout = {
    "plgnews-SI",
    20,
    500,
    "/query.html?col=plgsports&qt=",
    "&qc=plgsports&qm=0&st=",
    "&nh=20&lk=2&rf=1",
    {"<!--=========== CONTENT ===========-->", "</table>"},
    {"</table>", "</table>", "<p>", "<p>"},
};

int32_t Iterate(const char* query) { return IterateNewsSearch(state, kLayout, query); }

}  // namespace

TROVELANE_PLUGIN_EXPORTS(kName, true, "plgsports", "http://plgsports.invalid", "+AND+", "+OR+",
                         "+NOT+", "%22")
