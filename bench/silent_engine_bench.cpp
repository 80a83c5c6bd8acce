// A search with the shipped web profile over the five modelled engines (the
// HTTPS fixture of the tests, on loopback under the engines' host names)
// while one of them accepts the request and never answers, against the
// baseline of the read time-out (2 s): the search should end within it plus
// 10 %. Three runs of the search in this process (SearchRun, from
// StartSearch until the last engine ended) and three runs of trovelane-cli
// (wall time of the process, its start included); the same search with every
// engine answering shows what the others take.
//
// Needs port 443 of loopback (root). Nothing leaves the machine.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/profile.h"
#include "search/search_run.h"
#include "tests/support/web_engines_fixture.h"

extern char** environ;

namespace {

using namespace trovelane;
namespace fs = std::filesystem;

struct ChildRun {
  int exitCode = -1;
  double wallSeconds = 0;
};

// Runs `args` with standard output and error sent to `output`; waits for it.
ChildRun Run(const std::vector<std::string>& args, const std::string& output) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return run;
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class QuietEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff&) override { ++results; }
  int results = 0;
};

// One search of the shipped web profile over the fixture, in this process:
// its wall time in seconds, and the results it found.
std::pair<double, int> SearchInProcess(const test::WebEnginesFixture& fixture,
                                       const fs::path& folder) {
  EngineCatalogue catalogue;
  if (!LoadProfile(TROVELANE_DATA_DIR "/web.prf", catalogue).ok()) return {-1, 0};
  NetworkSettings settings;
  settings.search.maxResults = 1000;
  settings.search.validationMode = kValidationNone;
  settings.program.readTimeoutSeconds = 2;
  const std::vector<std::string> resolve = fixture.ResolveArguments();
  for (size_t i = 1; i < resolve.size(); i += 2) {
    ResolveEntry entry;
    if (ParseResolveEntry(resolve[i], &entry).ok()) settings.program.resolve.push_back(entry);
  }
  QuietEvents events;
  SearchRun run(settings, catalogue, folder, events);
  const auto start = std::chrono::steady_clock::now();
  if (run.StartSearch(test::WebEnginesFixture::kQuery) != StartOutcome::kStarted) return {-1, 0};
  run.ServeUntilDone(std::chrono::seconds(60));
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {took, events.results};
}

void SilentEngineFigure(const fs::path& folder) {
  std::printf("Five fixture engines, Wiby never answers, read time-out 2 s\n");
  if (!test::HttpsFixtureServer::CanListenOnPort443()) {
    std::printf("   skipped: port 443 of loopback is not open to this process\n");
    return;
  }
  setenv("SSL_CERT_FILE", test::WebEnginesFixture::CaFile().c_str(), 1);
  setenv("TROVELANE_LOOPBACK_ONLY", "1", 1);
  test::WebEnginesFixture fixture;
  constexpr double kReadTimeout = 2.0;
  for (int i = 1; i <= 3; ++i) {
    auto [took, results] = SearchInProcess(fixture, folder);
    std::printf("   every engine answers, in process: %.3f s, %d results\n", took, results);
  }
  fixture.SetMode(test::WebEngine::kWiby, test::WebEngineMode::kSilent);
  for (int i = 1; i <= 3; ++i) {
    auto [took, results] = SearchInProcess(fixture, folder);
    std::printf("   Wiby silent, in process run %d: %.3f s, %d results, %.3f of the time-out "
                "(target <= 1.10)\n",
                i, took, results, took / kReadTimeout);
  }
  for (int i = 1; i <= 3; ++i) {
    const std::string home = (folder / ("home" + std::to_string(i))).string();
    Run({TROVELANE_CLI_PATH, "--home", home, "settings", "set", "timeout.read", "2"},
        (folder / "settings.log").string());
    std::vector<std::string> args = {TROVELANE_CLI_PATH, "--home", home, "search"};
    for (const std::string& r : fixture.ResolveArguments()) args.push_back(r);
    for (const char* a : {"--validate", "none", "--format", "json", "river lantern"}) {
      args.push_back(a);
    }
    ChildRun run = Run(args, (folder / "search.log").string());
    std::printf("   Wiby silent, trovelane-cli run %d: %.3f s wall (exit %d), %.3f of the time-out\n", i,
                run.wallSeconds, run.exitCode, run.wallSeconds / kReadTimeout);
  }
}

}  // namespace

int main() {
  char pattern[] = "/tmp/trovelane-silent-bench-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) return 1;
  const fs::path folder(made);
  SilentEngineFigure(folder);
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
