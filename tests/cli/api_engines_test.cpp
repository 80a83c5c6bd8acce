// Engines that answer in JSON or with a feed, searched end to end through
// trovelane-cli against hand-made answers on loopback: their results, how
// they page, what `engines check` says of one it cannot read, and which
// SearXNG form naming an instance selects.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engines/profile.h"
#include "tests/cli/cli_home.h"
#include "tests/engines/engine_samples.h"
#include "tests/support/loopback_server.h"

namespace trovelane::testing {
namespace {

using test::HttpResponse;
using test::LoopbackServer;
using test::ServerConnection;

// A news search's JSON by page number (two results a page, the second page
// the last), an Atom feed, and a JSON answer whose list is not where its
// engine looks. Remembers the paths asked for.
class ApiServer {
 public:
  ApiServer() : server_([this](ServerConnection& c) { Serve(c); }) {}

  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::vector<std::string> Paths() {
    std::lock_guard lock(mutex_);
    return paths_;
  }

 private:
  void Serve(ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    {
      std::lock_guard lock(mutex_);
      paths_.push_back(path);
    }
    std::string body;
    std::string type = "application/json";
    if (path.rfind("/hits?q=river&page=1", 0) == 0) {
      body =
          R"({"hits":[{"objectID":"11","url":"https://news.example/a","title":"River <em>A</em>"},)"
          R"({"objectID":"12","url":null,"title":"Ask: river &amp; lantern"}],"page":1})";
    } else if (path.rfind("/hits?q=river&page=2", 0) == 0) {
      body = R"({"hits":[{"objectID":"13","url":"https://news.example/c","title":"C"}],"page":2})";
    } else if (path.rfind("/atom?q=river", 0) == 0) {
      type = "application/atom+xml";
      body = R"(<feed xmlns="http://www.w3.org/2005/Atom"><entry><title>Paper one</title>
<link rel="related" href="https://papers.example/pdf/1"/><link rel="alternate" href="https://papers.example/abs/1"/>
</entry><entry><title>Paper two</title><link href="/abs/2"/></entry></feed>)";
    } else if (path.rfind("/broken", 0) == 0) {
      body = R"({"items":{"total":0}})";
    } else {
      c.Send(HttpResponse("HTTP/1.0 404 Not Found", "", "no"));
      return;
    }
    c.Send(HttpResponse("HTTP/1.0 200 OK", "Content-Type: " + type + "\r\n", body));
  }

  std::mutex mutex_;
  std::vector<std::string> paths_;
  LoopbackServer server_;  // last: stops before the state goes
};

EngineDefinition ApiEngine(std::string name, std::string url, std::string format) {
  EngineDefinition e = TestEngine(std::move(name), std::move(url), RELATIVE_1);
  e.resultId = "page";
  e.parameters = {Param(SEARCH_TEXT, "q"), Param(RESULT_POSITION, "page")};
  e.resultsPerPage = 2;
  e.searchedFileTypes.clear();
  e.web.anyFileType = true;
  e.web.format = std::move(format);
  return e;
}

std::vector<nlohmann::json> JsonLines(const std::string& output) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '{') lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

TEST(ApiEnginesTest, JsonAndFeedEnginesAreSearchedLikeAnyOther) {
  ApiServer server;
  EngineCatalogue catalogue;
  EngineDefinition news = ApiEngine("news", server.Url("/hits"), "json");
  news.web.jsonResults = "hits";
  news.web.jsonUrl = "url || " + server.Url("/item?id={objectID}");
  news.web.jsonTitle = "title";
  EngineDefinition papers = ApiEngine("papers", server.Url("/atom"), "feed");
  papers.resultsPerPage = 10;  // two entries: not a full page, no second one asked
  EngineDefinition broken = ApiEngine("broken", server.Url("/broken"), "json");
  broken.web.jsonResults = "items";
  broken.web.jsonUrl = "link";
  catalogue.engines = {news, papers, broken};
  CliHome home;
  const std::string profile = home.File("api.prf");
  ASSERT_TRUE(SaveProfile(profile, catalogue).ok());

  const Outcome out = home.Run({"search", "--profile", profile, "--engine", "news", "--engine",
                                "papers", "--format", "json", "--validate", "none", "--dedupe",
                                "none", "--max", "100", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.output;
  std::map<std::string, std::string> titles;
  std::map<std::string, std::string> endings;
  for (const nlohmann::json& line : JsonLines(out.output)) {
    if (line.contains("url")) titles[line["url"]] = line["text"];
    if (line.contains("ending")) {
      endings[line["engine"]] =
          line["ending"].get<std::string>() + " " + std::to_string(line["pages"].get<int>());
    }
  }
  EXPECT_EQ(titles,
            (std::map<std::string, std::string>{{"https://news.example/a", "River A"},
                                                {server.Url("/item?id=12"), "Ask: river & lantern"},
                                                {"https://news.example/c", "C"},
                                                {"https://papers.example/abs/1", "Paper one"},
                                                {server.Url("/abs/2"), "Paper two"}}));
  EXPECT_EQ(endings,
            (std::map<std::string, std::string>{{"news", "done 2"}, {"papers", "done 1"}}));
  // The second news page was short, so no third was asked for.
  std::vector<std::string> asked;
  for (const std::string& path : server.Paths())
    asked.push_back(path.substr(0, path.find('?')) + path.substr(path.rfind('&')));
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::string>{"/atom&page=1", "/hits&page=1", "/hits&page=2"}));

  const Outcome check = home.Run({"engines", "--profile", profile, "check", "broken", "news"});
  EXPECT_EQ(check.exitCode, 1) << check.output;
  EXPECT_NE(check.output.find("error: the results path \"items\" names no array"),
            std::string::npos)
      << check.output;
}

TEST(ApiEnginesTest, NamingAnInstanceSelectsOneSearxngForm) {
  CliHome home(CliHome::kFirstStart);
  const Outcome set = home.Run({"settings", "set", "searxng", "https://search.team.example"});
  ASSERT_EQ(set.exitCode, 0) << set.output;
  EXPECT_NE(set.output.find("Selected SearXNG in the current profile.\n"), std::string::npos);
  EXPECT_EQ(set.output.find("SearXNG (JSON)"), std::string::npos) << set.output;
  // A user who searches the instance in one form keeps it.
  const Outcome again = home.Run({"settings", "set", "searxng", "https://other.team.example"});
  EXPECT_EQ(again.output.find("Selected"), std::string::npos) << again.output;
}

}  // namespace
}  // namespace trovelane::testing
