// The generated pages that the sample engines index and serve. The same
// page count always gives the same pages, so tests can rely on them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/sample_engines/query.h"

namespace trovelane::sample {

enum class PageState {
  kLive,   // served as indexed
  kGone,   // indexed, but answers 404
  kStale,  // indexed, but the served page no longer holds its words
};

// Where one of the page's words stands; relevance scoring weighs these.
struct WordPlacement {
  std::string word;
  std::string where;  // "title", "h1" … "h4", "font" or "body"
  int fontSize = 0;   // for "font": the SIZE attribute, 0 when there is none
};

struct CorpusPage {
  int id = 0;
  std::string path;  // "/pages/017.html"
  PageState state = PageState::kLive;
  std::string title;  // the indexed title, shown in result lists
  std::vector<WordPlacement> words;
  std::string html;       // the served page (empty when gone)
  std::string indexText;  // lower-cased text the engines search
};

class Corpus {
 public:
  explicit Corpus(int pageCount);

  const std::vector<CorpusPage>& Pages() const { return pages_; }
  const CorpusPage* FindByPath(std::string_view path) const;
  // Ids of the pages whose indexed text matches, in id order.
  std::vector<int> Search(const TermQuery& query) const;

  // The words pages are made of; earlier words occur on more pages.
  static const std::vector<std::string>& Vocabulary();

 private:
  std::vector<CorpusPage> pages_;
};

const char* PageStateName(PageState state);

}  // namespace trovelane::sample
