// The cost of the merged rank order (search --order rank) against the search
// that produced its results, both measured in the same run: a search of the
// sample engines that hands over about 10 000 results (URL duplicates
// removed, so many results carry several engines), timed as the CPU time of
// this process, then RankOrder over the results' finders, timed the same way
// (the median of several runs). The sample engines run in a child process,
// so the search's CPU time is the client's alone. Target: under 5 %.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "search/rank_order.h"
#include "search/search_run.h"
#include "tools/sample_engines/sample_server.h"

namespace {

using namespace trovelane;

constexpr int kPages = 12000;        // corpus pages
constexpr int kResultPages = 200;    // result pages each engine lists at most
constexpr int kRankRepeats = 21;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

class Counting : public SearchEvents {
 public:
  void OnResult(const ResultHandoff&) override { ++results; }
  size_t results = 0;
};

sample::SampleServerOptions ServerOptions() {
  sample::SampleServerOptions o;
  o.pageCount = kPages;
  o.maxResultPages = kResultPages;
  o.slowEngines = 0;
  o.maxRecordsPerEngine = 10;
  return o;
}

}  // namespace

int main() {
  // The engines' server lives in a child, started before any thread; the
  // child tells its port through a pipe and ends when the pipe to it closes.
  int toParent[2];
  int toChild[2];
  if (pipe(toParent) != 0 || pipe(toChild) != 0) return 1;
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    close(toParent[0]);
    close(toChild[1]);
    sample::SampleServer server(ServerOptions());
    if (!server.Start().ok()) _exit(1);
    const uint16_t port = server.Port();
    if (write(toParent[1], &port, sizeof port) != sizeof port) _exit(1);
    char byte;
    while (read(toChild[0], &byte, 1) > 0) {
    }
    server.Stop();
    _exit(0);
  }
  close(toParent[1]);
  close(toChild[0]);
  uint16_t port = 0;
  if (read(toParent[0], &port, sizeof port) != sizeof port) return 1;

  // The profile as the child's server writes it, for its port.
  sample::SampleServerOptions same = ServerOptions();
  same.port = 0;
  EngineCatalogue catalogue;
  {
    sample::SampleServer twin(same);  // not started: only its catalogue
    const std::string own = twin.BaseUrl();
    catalogue = twin.Catalogue();
    const std::string theirs = "http://127.0.0.1:" + std::to_string(port);
    for (EngineDefinition& e : catalogue.engines) {
      for (std::string* url : {&e.searchUrl, &e.referer}) {
        if (url->rfind(own, 0) == 0) *url = theirs + url->substr(own.size());
      }
      for (std::string& cookieUrl : e.cookieUrls) {
        if (cookieUrl.rfind(own, 0) == 0) cookieUrl = theirs + cookieUrl.substr(own.size());
      }
    }
  }

  NetworkSettings settings;
  settings.search.maxResults = 1 << 20;
  settings.search.duplicateMode = kDuplicateUrl;
  settings.search.validationMode = kValidationNone;
  settings.search.defaultOperator = 1;  // OR: most pages match
  settings.program.maxPagesPerEngine = kResultPages + 10;
  Counting events;
  SearchRun run(settings, catalogue, std::filesystem::temp_directory_path(), events);
  const double searchStart = CpuSeconds();
  if (run.StartSearch("river harbor lantern meadow copper falcon orchard signal") !=
      StartOutcome::kStarted) {
    return 1;
  }
  if (!run.ServeUntilDone(std::chrono::minutes(10))) return 1;
  const double searchCpu = CpuSeconds() - searchStart;
  close(toChild[1]);
  waitpid(child, nullptr, 0);

  const auto& finders = run.resultFinders();
  size_t shared = 0;
  for (const auto& f : finders) shared += f.size() > 1;
  std::vector<double> times;
  size_t checksum = 0;
  for (int i = 0; i < kRankRepeats; ++i) {
    const double start = CpuSeconds();
    std::vector<size_t> order = RankOrder(finders);
    times.push_back(CpuSeconds() - start);
    checksum += order.empty() ? 0 : order.front();
  }
  std::sort(times.begin(), times.end());
  const double rankCpu = times[times.size() / 2];

  std::printf("results handed over      %zu (%zu found by more than one engine)\n",
              events.results, shared);
  std::printf("search CPU time          %.3f s\n", searchCpu);
  std::printf("rank order CPU time      %.3f ms (median of %d; %zu)\n", rankCpu * 1e3, kRankRepeats,
              checksum % 10);
  std::printf("rank order / search      %.2f %%  (target < 5 %%)\n", 100.0 * rankCpu / searchCpu);
  return 0;
}
