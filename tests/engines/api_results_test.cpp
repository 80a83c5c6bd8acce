// The readers of JSON and feed answers. Every answer here is hand-made: a
// small model of what the named kind of source answers, or hostile input.
#include "engines/api_results.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trovelane {
namespace {

EngineDefinition JsonEngine(std::string results, std::string url, std::string title,
                            std::string snippet = {}) {
  EngineDefinition e;
  e.name = "api";
  e.searchUrl = "https://api.example.org/search";
  e.web.format = "json";
  e.web.jsonResults = std::move(results);
  e.web.jsonUrl = std::move(url);
  e.web.jsonTitle = std::move(title);
  e.web.jsonSnippet = std::move(snippet);
  return e;
}

EngineDefinition FeedEngine() {
  EngineDefinition e;
  e.searchUrl = "https://feeds.example.org/query";
  e.web.format = "Feed";
  return e;
}

std::vector<ApiResult> Read(const EngineDefinition& engine, const std::string& body) {
  std::vector<ApiResult> out;
  const Status status = ReadApiResults(engine, body, out);
  EXPECT_TRUE(status.ok()) << status.message();
  return out;
}

std::string Refusal(const EngineDefinition& engine, const std::string& body) {
  std::vector<ApiResult> out;
  const Status status = ReadApiResults(engine, body, out);
  EXPECT_TRUE(out.empty());
  return status.ok() ? "read" : status.message();
}

TEST(JsonResultsTest, PathsTemplatesAndTextAsTheSourcesGiveThem) {
  // An encyclopedia's search API: titles name the article, snippets hold markup.
  const auto wiki = Read(
      JsonEngine("query.search", "https://en.wikipedia.org/wiki/{title|underscore}", "title",
                 "snippet"),
      R"({"query":{"search":[{"title":"Albert Einstein","snippet":"physicist <span )"
      R"(class=\"searchmatch\">Einstein</span>&#39;s   theory &amp; <b>more</b>&hellip;"},)"
      R"({"title":"Caf\u00e9 au lait / Milk?"}]}})");
  ASSERT_EQ(wiki.size(), 2u);
  EXPECT_EQ(wiki[0], (ApiResult{"https://en.wikipedia.org/wiki/Albert_Einstein", "Albert Einstein",
                                "physicist Einstein's theory & more\u2026"}));
  EXPECT_EQ(wiki[1].url, "https://en.wikipedia.org/wiki/Caf%C3%A9_au_lait_/_Milk%3F");

  // A bibliographic database: titles are lists, the URL is built from the DOI.
  const auto works = Read(JsonEngine("message.items", "https://doi.org/{DOI}", "title"),
                          R"({"message":{"items":[{"DOI":"10.1000/x(1)y z&w#","title":["T1","T2"]},)"
                          R"({"title":["no DOI"]}, 7, "text", {"DOI":{"nested":1}}]}})");
  ASSERT_EQ(works.size(), 1u);
  EXPECT_EQ(works[0], (ApiResult{"https://doi.org/10.1000/x(1)y%20z%26w%23", "T1", ""}));

  // A news search: a story without a URL (null, empty, absent) links its
  // discussion page; numbers are fields too.
  const auto hits = Read(
      JsonEngine("hits", "url || https://news.ycombinator.com/item?id={objectID}", "title"),
      R"({"hits":[{"url":"https://a.example/story","objectID":"1","title":"A"},)"
      R"({"url":null,"objectID":"2","title":"B"},{"url":"","objectID":3},{"objectID":4.5}]})");
  ASSERT_EQ(hits.size(), 4u);
  EXPECT_EQ(hits[0].url, "https://a.example/story");
  EXPECT_EQ(hits[1].url, "https://news.ycombinator.com/item?id=2");
  EXPECT_EQ(hits[2].url, "https://news.ycombinator.com/item?id=3");
  EXPECT_EQ(hits[2].title, hits[2].url);  // untitled: the URL stands in
  EXPECT_EQ(hits[3].url, "https://news.ycombinator.com/item?id=4.5");

  // Indexes either way, a top-level list, relative links made absolute.
  const auto top = Read(JsonEngine("", "links[1].href", "names.0", "x.y"),
                        R"([{"links":[{"href":"/a"},{"href":"/b?q=1"}],"names":["N"],"x":{"y":2}}])");
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0], (ApiResult{"https://api.example.org/b?q=1", "N", "2"}));
}

TEST(JsonResultsTest, AnswersThatCannotBeReadSayWhy) {
  const EngineDefinition items = JsonEngine("items", "link", "title");
  EXPECT_EQ(Refusal(items, R"({"items":{"link":"x"}})"), "the results path \"items\" names no array");
  EXPECT_EQ(Refusal(items, R"({"error":{"info":"bad request"}})"),
            "the results path \"items\" names nothing in the answer");
  EXPECT_EQ(Refusal(items, "<html>Service unavailable</html>"),
            "the answer is not JSON (syntax error at byte 1)");
  EXPECT_EQ(Refusal(items, R"({"items":[{"url":"a"},{"link":7.5e999}]})").substr(0, 22),
            "the answer is not JSON");
  EXPECT_EQ(Refusal(items, R"({"items":[{"url":"a"},{"link":{}},{"link":[]}]})"),
            "none of the 3 results has a URL by \"link\"");
  EXPECT_EQ(Refusal(JsonEngine("", "link", ""), R"({"link":"x"})"),
            "the answer is no JSON array, and no results path (JRL) is set");
  // Malformed templates and paths never give a URL.
  for (const char* url : {"https://x/{DOI", "https://x/{}", "https://x/{DOI|upper}", "a..b",
                          "a[x]", "a[1"}) {
    EXPECT_EQ(Refusal(JsonEngine("", url, ""), R"([{"DOI":"1","a":{"b":"u"},"a[x]":"u"}])")
                  .substr(0, 11),
              "none of the")
        << url;
  }
  // Hostile: nesting and sheer count are refused before a tree is built.
  EXPECT_EQ(Refusal(items, std::string(65, '[') + std::string(65, ']')),
            "the answer nests deeper than 64 levels");
  EXPECT_EQ(Read(items, R"({"items":[)" + std::string(62, '[') + std::string(62, ']') + "]}").size(),
            0u);
  std::string wide = "[0";
  for (size_t i = 0; i < kMaxJsonValues; ++i) wide += ",0";
  EXPECT_EQ(Refusal(JsonEngine("", "u", ""), wide + "]"),
            "the answer holds more than 250000 values");
  EXPECT_EQ(Refusal(items, std::string(kMaxApiAnswerBytes + 1, ' ')),
            "the answer is larger than 8 MiB");
}

TEST(FeedResultsTest, RssItemsAndAtomEntries) {
  // RSS 2.0, as a news site's feed: other namespaces' elements in an item
  // do not count; an item without a link names its page by a permalink guid.
  const auto rss = Read(FeedEngine(), R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:media="http://search.yahoo.com/mrss/" xmlns:atom="http://www.w3.org/2005/Atom">
 <channel><title>Feed</title><link>https://news.example/</link>
  <item><media:title>not this</media:title><title>First &amp;amp; best</title>
   <atom:link rel="self" href="https://news.example/self"/>
   <link> https://news.example/1 </link>
   <description>&lt;p&gt;Para one&lt;/p&gt;&lt;p&gt;two&lt;/p&gt;</description></item>
  <item><title>Second</title><guid>https://news.example/2</guid></item>
  <item><title>Third</title><guid isPermaLink="false">https://news.example/3</guid></item>
  <item><title>Relative</title><link>/4</link></item>
 </channel></rss>)");
  ASSERT_EQ(rss.size(), 3u);
  EXPECT_EQ(rss[0], (ApiResult{"https://news.example/1", "First & best", "Para one two"}));
  EXPECT_EQ(rss[1].url, "https://news.example/2");
  EXPECT_EQ(rss[2].url, "https://feeds.example.org/4");

  // Atom, as a preprint archive answers: the alternate link first, plain
  // text kept as it is (a title with "<"), summary before content.
  const auto atom = Read(FeedEngine(), R"(<feed xmlns="http://www.w3.org/2005/Atom">
 <entry><title>Bounds for n&lt;k
   graphs</title><link title="pdf" href="https://arxiv.example/pdf/1" rel="related"/>
  <link href="https://arxiv.example/abs/1" rel="alternate" type="text/html"/>
  <link href="https://arxiv.example/plain/1"/>
  <summary>  We prove
   things.</summary><content type="html">&lt;b&gt;not this&lt;/b&gt;</content></entry>
 <entry><title type="html">&lt;i&gt;Second&lt;/i&gt;</title><link href="https://arxiv.example/2"/>
  <content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml">a &lt;b&gt; c</div></content></entry>
 <entry><title>No link</title><link rel="related" href="https://arxiv.example/3"/></entry>
</feed>)");
  ASSERT_EQ(atom.size(), 2u);
  EXPECT_EQ(atom[0], (ApiResult{"https://arxiv.example/abs/1", "Bounds for n<k graphs",
                                "We prove things."}));
  EXPECT_EQ(atom[1], (ApiResult{"https://arxiv.example/2", "Second", "a <b> c"}));

  // RSS 1.0: the items stand beside the channel, in the RSS namespace.
  const auto rdf = Read(FeedEngine(), R"(<rdf:RDF
  xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/">
 <channel rdf:about="https://r.example/"><title>c</title><link>https://r.example/</link></channel>
 <item rdf:about="https://r.example/1"><title>One</title><link>https://r.example/1</link></item>
</rdf:RDF>)");
  ASSERT_EQ(rdf.size(), 1u);
  EXPECT_EQ(rdf[0].title, "One");
}

TEST(FeedResultsTest, HostileAndForeignDocumentsAreRefused) {
  const EngineDefinition feed = FeedEngine();
  const std::string laughs = R"(<?xml version="1.0"?>
<!DOCTYPE rss [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]>
<rss><channel><item><title>&c;</title><link>https://x/</link></item></channel></rss>)";
  EXPECT_EQ(Refusal(feed, laughs), "the answer declares entities in its document type");
  EXPECT_EQ(Refusal(feed, R"(<!DOCTYPE rss [<!ENTITY x SYSTEM "file:///etc/passwd">]>
<rss><channel><item><title>&x;</title><link>https://x/</link></item></channel></rss>)"),
            "the answer declares entities in its document type");
  std::string deep = "<rss>";
  for (int i = 0; i < kMaxFeedDepth; ++i) deep += "<a>";
  EXPECT_EQ(Refusal(feed, deep), "the answer nests deeper than 256 elements");
  EXPECT_EQ(Refusal(feed, "<html><body>Rate limited</body></html>"),
            "the answer is no RSS or Atom feed (its root is <html>)");
  EXPECT_EQ(Refusal(feed, "{\"items\":[]}").substr(0, 33), "the answer is not well-formed XML");
  // An external document type is never fetched; its undeclared entities stay
  // unread, and the feed reads.
  EXPECT_EQ(Read(feed, R"(<!DOCTYPE rss SYSTEM "http://127.0.0.1:9/rss-0.91.dtd">
<rss><channel><item><title>T</title><link>https://x/1</link></item></channel></rss>)")
                .size(),
            1u);
}

TEST(ApiResultsTest, FormatsThatAreNotReadHere) {
  EngineDefinition engine = FeedEngine();
  engine.web.format = "";
  EXPECT_EQ(Refusal(engine, "[]"), "the engine's answers are HTML pages, read by its anchors");
  engine.web.format = "protobuf";
  EXPECT_EQ(Refusal(engine, "[]"), "the result format \"protobuf\" is not known to this program");
  EXPECT_EQ(MarkupToText("x < y, a<b>c</b> &bogus; &#xD800; &#x1F600;&#0;"),
            "x < y, ac &bogus; \uFFFD \U0001F600");
}

}  // namespace
}  // namespace trovelane
