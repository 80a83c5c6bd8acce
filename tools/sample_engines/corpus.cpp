#include "tools/sample_engines/corpus.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace trovelane::sample {

namespace {

// splitmix64: a tiny generator whose output is the same on every platform.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
};

// Sentences that hold no word of the vocabulary.
const char* const kFiller[] = {
    "These notes were written on a quiet morning.", "Nothing here is certain yet.",
    "More will follow when time allows.",           "The author kept a small notebook for these.",
    "Some of this was copied from older letters.",  "Readers have asked for a longer version.",
};

std::string Capitalized(std::string word) {
  if (!word.empty()) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
  return word;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Picks `count` distinct words; word j has weight (size - j).
std::vector<std::string> PickWords(Random& rng, int count) {
  const auto& vocabulary = Corpus::Vocabulary();
  const int n = static_cast<int>(vocabulary.size());
  std::vector<bool> taken(n, false);
  std::vector<std::string> words;
  while (static_cast<int>(words.size()) < count) {
    int roll = rng.Below(n * (n + 1) / 2);
    int j = 0;
    for (int weight = n; roll >= weight; --weight) {
      roll -= weight;
      ++j;
    }
    if (!taken[j]) {
      taken[j] = true;
      words.push_back(vocabulary[j]);
    }
  }
  return words;
}

CorpusPage MakePage(int id) {
  Random rng{static_cast<uint64_t>(id) * 7919u + 17u};
  CorpusPage page;
  page.id = id;
  char path[32];
  std::snprintf(path, sizeof path, "/pages/%03d.html", id);
  page.path = path;
  if (id % 23 == 7) {
    page.state = PageState::kGone;
  } else if (id % 19 == 5) {
    page.state = PageState::kStale;
  }

  std::vector<std::string> words = PickWords(rng, 3 + rng.Below(4));
  page.title = Capitalized(words[0]) + " field notes, page " + std::to_string(id);
  page.words.push_back({words[0], "title", 0});
  page.words.push_back({words[1], rng.Below(2) == 0 ? "h1" : "h2", 0});
  page.words.push_back({words[2], "font", rng.Below(8)});
  static const char* const kLater[] = {"h3", "h4", "font", "body", "body"};
  for (size_t i = 3; i < words.size(); ++i) {
    std::string where = kLater[rng.Below(5)];
    page.words.push_back({words[i], where, where == "font" ? rng.Below(8) : 0});
  }

  std::string body;
  std::string text = page.title + "\n";
  auto add = [&](const std::string& html, const std::string& plain) {
    body += html + "\n";
    text += plain + "\n";
  };
  auto addFiller = [&] {
    std::string sentence = kFiller[rng.Below(6)];
    add("<P>" + sentence + "</P>", sentence);
  };
  addFiller();
  for (const auto& placement : page.words) {
    const std::string& w = placement.word;
    if (placement.where == "title") continue;
    if (placement.where[0] == 'h') {
      std::string tag = placement.where;
      for (char& c : tag) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::string heading = "On the " + w;
      add("<" + tag + ">" + heading + "</" + tag + ">", heading);
    } else if (placement.where == "font") {
      std::string sentence = "A word about " + w + ".";
      std::string open = placement.fontSize == 0 ? "<FONT COLOR=\"#333366\">"
                                                 : "<FONT COLOR=\"#333366\" SIZE=\"" +
                                                       std::to_string(placement.fontSize) + "\">";
      add(open + sentence + "</FONT>", sentence);
    } else {
      std::string sentence = "We also saw " + w + " there.";
      add("<P>" + sentence + "</P>", sentence);
    }
  }
  // A second H1 late in the page: only the first heading of a level counts
  // for relevance, so this one must not lift the score of its word.
  if (rng.Below(3) == 0) {
    std::string w = words.back();
    add("<H1>More on " + w + "</H1>", "More on " + w);
  }
  addFiller();
  page.indexText = Lower(text);

  switch (page.state) {
    case PageState::kGone:
      break;
    case PageState::kStale:
      page.html =
          "<HTML><HEAD><TITLE>Moved</TITLE></HEAD><BODY>\n<H1>This page has moved</H1>\n"
          "<P>Nothing is left here.</P>\n</BODY></HTML>\n";
      break;
    case PageState::kLive:
      page.html = "<HTML><HEAD><TITLE>" + page.title + "</TITLE></HEAD>\n<BODY>\n" + body +
                  "</BODY></HTML>\n";
      break;
  }
  return page;
}

}  // namespace

Corpus::Corpus(int pageCount) {
  pages_.reserve(pageCount);
  for (int id = 0; id < pageCount; ++id) pages_.push_back(MakePage(id));
}

const CorpusPage* Corpus::FindByPath(std::string_view path) const {
  // Paths are "/pages/NNN.html" with the id as number.
  if (!path.starts_with("/pages/") || !path.ends_with(".html")) return nullptr;
  std::string_view digits = path.substr(7, path.size() - 12);
  if (digits.size() < 3) return nullptr;
  int id = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return nullptr;
    id = id * 10 + (c - '0');
    if (id >= static_cast<int>(pages_.size())) return nullptr;
  }
  return pages_[id].path == path ? &pages_[id] : nullptr;
}

std::vector<int> Corpus::Search(const TermQuery& query) const {
  std::vector<int> ids;
  for (const auto& page : pages_) {
    if (Matches(query, page.indexText)) ids.push_back(page.id);
  }
  return ids;
}

const std::vector<std::string>& Corpus::Vocabulary() {
  static const std::vector<std::string> words = {
      "river",   "harbor", "lantern", "meadow", "copper",   "falcon",  "orchard", "signal",
      "granite", "willow", "compass", "ember",  "glacier",  "harvest", "island",  "jasmine",
      "kestrel", "lagoon", "marble",  "nectar", "obsidian", "prairie", "quartz",  "raven"};
  return words;
}

const char* PageStateName(PageState state) {
  switch (state) {
    case PageState::kLive:
      return "live";
    case PageState::kGone:
      return "gone";
    case PageState::kStale:
      return "stale";
  }
  return "live";
}

}  // namespace trovelane::sample
