// trovelane-cli search against the sample engines: the formats, the options
// that override the saved settings, the exit codes, --timeout and Ctrl-C.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "engines/profile.h"
#include "tests/cli/cli_home.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;

class SearchCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::SampleServerOptions o;
    o.maxResultPages = 2;
    o.latencyMs = 5000;  // slow1 hangs in its first page
    server_ = std::make_unique<sample::SampleServer>(o);
    ASSERT_TRUE(server_->Start(nullptr));
    profile_ = home_.File("sample.prf");
    std::ofstream(profile_) << server_->ProfileText();
  }
  void TearDown() override { server_->Stop(); }

  Outcome Search(std::vector<std::string> args) {
    args.insert(args.begin(), {"search", "--profile", profile_});
    return home_.Run(args);
  }

  // The JSON lines of the output (other lines are skipped).
  static std::vector<nlohmann::json> JsonLines(const std::string& output) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line[0] == '{') lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
  }

  CliHome home_;
  std::unique_ptr<sample::SampleServer> server_;
  std::string profile_;
};

TEST_F(SearchCommandTest, JsonLinesFromTheChosenEnginesWithinTheLimit) {
  Outcome out = Search({"--engine", "offset0", "--engine", "page1", "--max", "4", "--per-engine",
                        "--dedupe", "none", "--format", "json", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.output;
  std::map<std::string, int> perEngine;
  int index = 0;
  for (const auto& line : JsonLines(out.output)) {
    EXPECT_EQ(line["index"], ++index);
    perEngine[line["engineName"]]++;
    EXPECT_EQ(line["relevance"], -1);
  }
  EXPECT_EQ(perEngine, (std::map<std::string, int>{{"offset0", 4}, {"page1", 4}}));
}

TEST_F(SearchCommandTest, TheExpressionMayFollowAnEngineAndSpanSeveralWords) {
  Outcome out =
      Search({"--engine", "offset0", "--format", "json", "--max", "50", "river", "harbor"});
  ASSERT_EQ(out.exitCode, 0) << out.output;
  std::vector<nlohmann::json> lines = JsonLines(out.output);
  ASSERT_FALSE(lines.empty());
  // "river harbor" is "river & harbor": each page holds both words.
  for (const auto& line : lines) {
    std::string path = line["url"].get<std::string>().substr(server_->BaseUrl().size());
    const sample::CorpusPage* page = server_->Pages().FindByPath(path);
    ASSERT_NE(page, nullptr) << path;
    EXPECT_NE(page->indexText.find("river"), std::string::npos);
    EXPECT_NE(page->indexText.find("harbor"), std::string::npos);
  }
  Outcome either = Search({"--engine", "offset0", "--operator", "or", "--format", "json", "--max",
                           "50", "river", "harbor"});
  int lacksOne = 0;
  for (const auto& line : JsonLines(either.output)) {
    std::string path = line["url"].get<std::string>().substr(server_->BaseUrl().size());
    const std::string& text = server_->Pages().FindByPath(path)->indexText;
    lacksOne += text.find("river") == std::string::npos || text.find("harbor") == std::string::npos;
  }
  EXPECT_GT(lacksOne, 0);
}

TEST_F(SearchCommandTest, ResolveTakesEnginesUnderAHostNameToTheirServer) {
  // The profile names the engines by a host name that resolves nowhere.
  const std::string port = std::to_string(server_->Port());
  std::string text = server_->ProfileText();
  const std::string base = server_->BaseUrl();
  for (size_t at = text.find(base); at != std::string::npos; at = text.find(base, at)) {
    text.replace(at, base.size(), "http://samples.test:" + port);
  }
  std::ofstream(profile_, std::ios::trunc) << text;
  Outcome out = Search({"--resolve", "samples.test:" + port + ":127.0.0.1", "--engine", "offset0",
                        "--max", "3", "--format", "json", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.output;
  EXPECT_EQ(JsonLines(out.output).size(), 3u) << out.output;
}

TEST_F(SearchCommandTest, TsvAndTableLines) {
  Outcome tsv = Search({"--engine", "offset0", "--max", "3", "--format", "tsv", "river"});
  ASSERT_EQ(tsv.exitCode, 0) << tsv.output;
  EXPECT_EQ(tsv.output.rfind("index\turl\ttext\tengineName\tvalidated\trelevance\n", 0), 0u)
      << tsv.output;
  EXPECT_EQ(std::count(tsv.output.begin(), tsv.output.end(), '\n'), 4);
  Outcome table = Search({"--engine", "offset0", "--max", "2", "river"});
  ASSERT_EQ(table.exitCode, 0) << table.output;
  EXPECT_NE(table.output.find("offset0"), std::string::npos);
  EXPECT_NE(table.output.find(server_->BaseUrl() + "/pages/"), std::string::npos);
}

TEST_F(SearchCommandTest, QmkAndHtmlAreWrittenAtTheEnd) {
  std::string qmk = home_.File("found.qmk");
  ASSERT_EQ(
      Search({"--engine", "offset0", "--max", "5", "--format", "qmk", "-o", qmk, "river"}).exitCode,
      0);
  Outcome listed = home_.Run({"open", qmk, "--format", "json"});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  nlohmann::json doc = nlohmann::json::parse(listed.output);
  EXPECT_EQ(doc["results"].size(), 5u);
  EXPECT_EQ(doc["searchText"], "river");

  std::string html = home_.File("found.htm");
  ASSERT_EQ(Search({"--engine", "offset0", "--max", "3", "--format", "html", "-o", html, "river"})
                .exitCode,
            0);
  std::string page = ReadFileBytes(html);
  EXPECT_NE(page.find(server_->BaseUrl() + "/pages/"), std::string::npos);
}

TEST_F(SearchCommandTest, OverridesAreForThisRunOnly) {
  ASSERT_EQ(home_.Run({"settings", "set", "results.max", "7"}).exitCode, 0);
  Outcome saved = Search({"--engine", "offset0", "--format", "json", "river"});
  EXPECT_EQ(JsonLines(saved.output).size(), 7u) << saved.output;
  Outcome overridden = Search({"--engine", "offset0", "--max", "2", "--format", "json", "river"});
  EXPECT_EQ(JsonLines(overridden.output).size(), 2u);
  Outcome again = Search({"--engine", "offset0", "--format", "json", "river"});
  EXPECT_EQ(JsonLines(again.output).size(), 7u);
}

TEST_F(SearchCommandTest, UsageErrorsAndFailures) {
  Outcome invalid = Search({"river &"});
  EXPECT_EQ(invalid.exitCode, 2);
  EXPECT_NE(invalid.output.find("either invalid or empty"), std::string::npos);
  Outcome nothing = Search({"'QMNOSEND,TITLE,QMINNERTEXT,x'"});
  EXPECT_EQ(nothing.exitCode, 2);
  EXPECT_NE(nothing.output.find("Nothing to search for !"), std::string::npos);
  EXPECT_EQ(Search({"--format", "qmk", "river"}).exitCode, 2);
  EXPECT_EQ(Search({"--validate", "maybe", "river"}).exitCode, 2);
  EXPECT_EQ(home_.Run({"search", "--profile", home_.File("none.prf"), "river"}).exitCode, 1);
  EXPECT_EQ(Search({"--engine", "nosuch", "river"}).exitCode, 1);
}

TEST_F(SearchCommandTest, TimeoutStopsAndKeepsWhatWasFound) {
  auto start = std::chrono::steady_clock::now();
  Outcome out = Search({"--engine", "slow1", "--engine", "offset0", "--timeout", "0.5", "--format",
                        "json", "river"});
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(out.exitCode, 3) << out.output;
  EXPECT_LT(took, 3s);
  std::vector<nlohmann::json> lines = JsonLines(out.output);
  EXPECT_EQ(lines.size(), 20u);  // offset0's two pages; slow1 never finished a page
  for (const auto& line : lines) EXPECT_EQ(line["engineName"], "offset0");
}

TEST_F(SearchCommandTest, CtrlCStopsAndStillWritesTheResults) {
  std::string out = home_.File("out.json");
  std::string cli = TROVELANE_CLI_PATH;
  std::vector<std::string> args = {cli,        "--home",   home_.Home(), "search",   "--profile",
                                   profile_,   "--engine", "slow1",      "--engine", "offset0",
                                   "--format", "json",     "-o",         out,        "river"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, cli.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  // Wait until offset0 is done and slow1 hangs in its page.
  for (int i = 0; i < 100; ++i) {
    nlohmann::json stats = server_->Stats();
    if (stats["engines"].contains("slow1") && stats["engines"].contains("offset0") &&
        stats["engines"]["offset0"]["count"] == 2 && stats["engines"]["offset0"]["inFlight"] == 0) {
      break;
    }
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(100ms);
  auto start = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(JsonLines(ReadFileBytes(out)).size(), 20u);
  // The install folder holds no spool file of the stopped engine.
  for (const auto& entry : std::filesystem::directory_iterator(home_.Home())) {
    EXPECT_NE(entry.path().filename().string().rfind("sdump", 0), 0u) << entry.path();
  }
}

}  // namespace
}  // namespace trovelane::testing

namespace trovelane::testing {
namespace {

TEST_F(SearchCommandTest, RegistersAndRunsSitePluginsLikeAnyEngine) {
  const std::string plugins = home_.HomeFile("plugins");
  ASSERT_TRUE(server_->WritePluginSiteFiles(plugins, nullptr));
  ASSERT_TRUE(SaveProfile(profile_, EngineCatalogue()));  // only the plug-ins
  // A plain name is looked up in the plug-in folders; a path is copied in.
  Outcome byName = home_.Run({"engines", "--profile", profile_, "add-plugin", "plgresearch.so"});
  ASSERT_EQ(byName.exitCode, 0) << byName.output;
  EXPECT_NE(byName.output.find("Added plug-in \"Northern Light\" (plgresearch.so) as engine 0"),
            std::string::npos)
      << byName.output;
  Outcome byPath = home_.Run({"engines", "--profile", profile_, "add-plugin", TEST_PLUGIN_PATH});
  ASSERT_EQ(byPath.exitCode, 0) << byPath.output;
  EXPECT_TRUE(std::filesystem::exists(plugins + "/" +
                                      std::filesystem::path(TEST_PLUGIN_PATH).filename().string()));
  Outcome listed = home_.Run({"engines", "--profile", profile_});
  EXPECT_NE(listed.output.find("Northern Light"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("Test Pages Plugin"), std::string::npos) << listed.output;

  Outcome out = Search({"--format", "json", "lantern", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.output;
  std::vector<nlohmann::json> lines = JsonLines(out.output);
  ASSERT_FALSE(lines.empty()) << out.output;
  for (const auto& line : lines) EXPECT_EQ(line["engineName"], "Northern Light") << line;
}

}  // namespace
}  // namespace trovelane::testing
