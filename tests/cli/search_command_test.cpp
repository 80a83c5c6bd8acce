// trovelane-cli search against the sample engines: the formats, the options
// that override the saved settings, the exit codes, --timeout and Ctrl-C.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
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
    ASSERT_TRUE(server_->Start().ok());
    profile_ = home_.File("sample.prf");
    std::ofstream(profile_) << server_->ProfileText();
  }
  void TearDown() override { server_->Stop(); }

  Outcome Search(std::vector<std::string> args) {
    args.insert(args.begin(), {"search", "--profile", profile_});
    return home_.Run(args);
  }

  SplitOutcome SearchSplit(std::vector<std::string> args) {
    args.insert(args.begin(), {"search", "--profile", profile_});
    return home_.RunSplit(args);
  }

  // The JSON lines of the output that are results (other lines are skipped).
  static std::vector<nlohmann::json> JsonLines(const std::string& output) {
    std::vector<nlohmann::json> lines;
    for (const nlohmann::json& line : AllJsonLines(output)) {
      if (line.contains("url")) lines.push_back(line);
    }
    return lines;
  }
  // The JSON lines of the engines.
  static std::vector<nlohmann::json> EngineLines(const std::string& output) {
    std::vector<nlohmann::json> lines;
    for (const nlohmann::json& line : AllJsonLines(output)) {
      if (line.contains("engine")) lines.push_back(line);
    }
    return lines;
  }
  static std::vector<nlohmann::json> AllJsonLines(const std::string& output) {
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
  SplitOutcome tsv = SearchSplit({"--engine", "offset0", "--max", "3", "--format", "tsv", "river"});
  ASSERT_EQ(tsv.exitCode, 0) << tsv.out << tsv.err;
  EXPECT_EQ(tsv.out.rfind("index\turl\ttext\tengineName\tvalidated\trelevance\n", 0), 0u)
      << tsv.out;
  EXPECT_EQ(std::count(tsv.out.begin(), tsv.out.end(), '\n'), 4);
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

// The exit status and the missing results of slow1 show that the time-out
// ended the search: without it the command would wait for slow1's pages.
TEST_F(SearchCommandTest, TimeoutStopsAndKeepsWhatWasFound) {
  Outcome out = Search({"--engine", "slow1", "--engine", "offset0", "--timeout", "0.5", "--format",
                        "json", "river"});
  EXPECT_EQ(out.exitCode, 3) << out.output;
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

// /proc/PID/task/PID/FILE of the process's main thread.
std::string MainThreadFile(pid_t pid, const std::string& file) {
  return ReadFileBytes("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/" +
                       file);
}

// True while a signal sent to the main thread alone waits to be taken.
bool SignalPending(pid_t pid) {
  std::smatch pending;
  const std::string status = MainThreadFile(pid, "status");
  return std::regex_search(status, pending, std::regex("SigPnd:\\s*([0-9a-f]+)")) &&
         std::stoull(pending[1], nullptr, 16) != 0;
}

// Ctrl-C reaching the main thread while it waits to write a result into a
// full pipe: the write goes on once the reader drains the pipe, and every
// result the search counted is in the output.
TEST_F(SearchCommandTest, CtrlCDuringAWriteToAFullPipeCutsNoResult) {
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  // The smallest pipe the system allows, filled here so that the child's
  // first write of a result blocks.
  const int capacity = fcntl(pipeFds[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  const std::string filler(static_cast<size_t>(capacity), '#');
  ASSERT_EQ(write(pipeFds[1], filler.data(), filler.size()), capacity);

  const std::string errors = home_.File("stderr.txt");
  std::string cli = TROVELANE_CLI_PATH;
  std::vector<std::string> args = {cli,          "--home",   home_.Home(), "search",
                                   "--profile",  profile_,   "--engine",   "offset0",
                                   "--progress", "--format", "tsv",        "river"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);

  // The main thread blocks in write(1, ...) (system call 1 on x86-64, 64 on
  // the ARM and RISC-V tables); the guard ends the wait should it never come.
  const std::regex inWrite("^(1|64) 0x1 ");
  bool blocked = false;
  for (int i = 0; i < 400 && !blocked; ++i) {
    blocked = std::regex_search(MainThreadFile(pid, "syscall"), inWrite);
    if (!blocked) std::this_thread::sleep_for(25ms);
  }
  EXPECT_TRUE(blocked) << MainThreadFile(pid, "syscall");
  // The signal goes to that thread, and is taken (no longer pending) before
  // the pipe is drained: the write is interrupted, not finished first.
  ASSERT_EQ(syscall(SYS_tgkill, pid, pid, SIGINT), 0);
  for (int i = 0; i < 400 && SignalPending(pid); ++i) std::this_thread::sleep_for(25ms);

  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFileBytes(errors);

  ASSERT_EQ(output.substr(0, filler.size()), filler);
  // TSV streams each result as it arrives: a header line, then one per result.
  size_t lines = 0;
  std::istringstream tsv(output.substr(filler.size()));
  for (std::string line; std::getline(tsv, line);) {
    if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) ++lines;
  }
  std::smatch found;
  const std::string stderrText = ReadFileBytes(errors);
  ASSERT_TRUE(std::regex_search(stderrText, found, std::regex("(\\d+) Results? Found !")))
      << stderrText;
  EXPECT_GE(lines, 1u);
  EXPECT_EQ(lines, std::stoul(found[1])) << stderrText;
}

}  // namespace
}  // namespace trovelane::testing

namespace trovelane::testing {
namespace {

TEST_F(SearchCommandTest, RegistersAndRunsSitePluginsLikeAnyEngine) {
  const std::string plugins = home_.HomeFile("plugins");
  ASSERT_TRUE(server_->WritePluginSiteFiles(plugins).ok());
  ASSERT_TRUE(SaveProfile(profile_, EngineCatalogue()).ok());  // only the plug-ins
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
  // A file the loader refuses is not added, and the loader says why.
  WriteFileBytes(home_.File("notalib.so"), "not an ELF image");
  Outcome refused = home_.Run({"engines", "--profile", profile_, "add-plugin", home_.File("notalib.so")});
  EXPECT_EQ(refused.exitCode, 1) << refused.output;
  EXPECT_NE(refused.output.find("notalib.so: "), std::string::npos) << refused.output;
  EXPECT_FALSE(std::filesystem::exists(plugins + "/notalib.so"));
  Outcome listed = home_.Run({"engines", "--profile", profile_});
  EXPECT_NE(listed.output.find("Northern Light"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("Test Pages Plugin"), std::string::npos) << listed.output;
  EXPECT_EQ(listed.output.find("Bad Plugin"), std::string::npos) << listed.output;

  Outcome out = Search({"--format", "json", "lantern", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.output;
  std::vector<nlohmann::json> lines = JsonLines(out.output);
  ASSERT_FALSE(lines.empty()) << out.output;
  for (const auto& line : lines) EXPECT_EQ(line["engineName"], "Northern Light") << line;

  // A plug-in is chosen by the name it gives itself, as the list shows it.
  Outcome chosen = Search({"--engine", "Northern Light", "--format", "json", "lantern", "river"});
  EXPECT_EQ(chosen.exitCode, 0) << chosen.output;
  EXPECT_FALSE(JsonLines(chosen.output).empty()) << chosen.output;
}

}  // namespace
}  // namespace trovelane::testing
