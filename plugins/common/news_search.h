// The iteration shared by the news-style plug-ins (business news, news,
// sports): one query pattern with a page offset, a reported result count on
// the first page, and a results section whose every anchor is a result.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "plugins/common/plugin_kit.h"

namespace trovelane::plugin {

struct NewsLayout {
  const char* engineName;
  int pageStep;     // results a page: the offset grows by this much
  long countLimit;  // the reported count is taken up to this many
  // The page URL: root + beforeQuery + query + beforeOffset + offset + afterOffset.
  const char* beforeQuery;
  const char* beforeOffset;
  const char* afterOffset;
  // Markers found one after the other; the section begins past the last.
  std::vector<std::string_view> sectionStart;
  // Markers found one after the other from the section: the anchors are
  // walked from the last but one, and the page ends at the last.
  std::vector<std::string_view> results;
};

// One page of a news-style plug-in.
int32_t IterateNewsSearch(PluginState& state, const NewsLayout& layout, const char* query);

}  // namespace trovelane::plugin
