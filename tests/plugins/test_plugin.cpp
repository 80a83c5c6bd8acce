// Plug-in libraries for the host tests, one source built several ways:
//   TEST_NO_TERMINATE  exports every entry point but QMPluginTerminate.
//   TEST_BLOCKING      its first iteration stays in its own code until the
//                      test calls TestRelease (at most 30 s), then tries
//                      every service once and records the answers.
//   TEST_PROBE         its one iteration tries the services with odd input
//                      and records the answers.
// Each writes "initialized.txt" into its current directory when initialised
// and counts its calls; the test reads the counts through the Test* exports
// of the same loaded image.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "plugins/plugin_api.h"

namespace {

HostContext* host = nullptr;
std::atomic<int> initializeCount{0};
std::atomic<int> terminateCount{0};
std::atomic<bool> entered{false};
std::atomic<bool> released{false};
std::atomic<bool> returned{false};
int32_t answers[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
char probeUrl[QM_LINK_BUFFER_SIZE];

}  // namespace

extern "C" {

QM_PLUGIN_EXPORT int32_t QMGetPluginName(char* buffer, int32_t size) {
  const char name[] = "Test plug-in";
  if (static_cast<int32_t>(sizeof name - 1) >= size) return sizeof name - 1;
  for (size_t i = 0; i < sizeof name; ++i) buffer[i] = name[i];
  return 0;
}

QM_PLUGIN_EXPORT void QMPluginInitialize(HostContext* context) {
  host = context;
  ++initializeCount;
  if (FILE* f = std::fopen("initialized.txt", "w")) std::fclose(f);
}

QM_PLUGIN_EXPORT BooleanOperators* QMGetBooleanOperators(BooleanOperators* operators) {
  operators->andOperator = "+";
  operators->orOperator = "|";
  operators->notOperator = "-";
  operators->exactOperator = "'";
  return operators;
}

QM_PLUGIN_EXPORT int32_t QMPerformSearchIteration(const char* /*query*/) {
#ifdef TEST_BLOCKING
  entered = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!released && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  char buffer[64];
  answers[0] = host->connect(host, "http://127.0.0.1:9/", 0, nullptr, nullptr, nullptr, nullptr);
  answers[1] = host->read(host, buffer, sizeof buffer);
  answers[2] = host->addResult(host, "http://127.0.0.1:9/x", "x", "test", 0, 0);
  answers[3] = host->setStatus(host, "still here");
  answers[4] = host->checkRelevance(host, "http://127.0.0.1:9/x", nullptr);
  returned = true;
  return 1;  // the host must stop calling once stopped, whatever this says
#elif defined(TEST_PROBE)
  char title[QM_LINK_BUFFER_SIZE];
  std::string tooLong = "http://127.0.0.1:9/" + std::string(1100, 'x');
  answers[0] = host->connect(host, "not a url at all", 0, nullptr, nullptr, nullptr, nullptr);
  answers[1] = host->getValidationMode(host);
  answers[2] = host->findNextLink(host, "ab <a href=\"/found\">Found</a>", probeUrl, title);
  answers[3] = host->setStatus(host, "probe status");
  answers[4] = host->addResult(host, tooLong.c_str(), "long", "probe", 0, 0);
  answers[5] = host->addResult(host, "http://127.0.0.1:9/one", "One", "probe", 0, 0);
  answers[6] = host->addResult(host, "http://127.0.0.1:9/one", "Again", "probe", 0, 0);
  answers[7] = host->checkRelevance(host, "not a url either", nullptr);
  // Links that name no page: empty, or relative before any page was read;
  // then relative after a page of the sample site was read.
  answers[8] = host->addResult(host, "/relative/link.html", "Early", "probe", 0, 0);
  answers[9] = host->addResult(host, "", "Empty", "probe", 0, 0);
  char site[512] = {};
  if (FILE* f = std::fopen("plugins/plgpages.site", "r")) {
    if (!std::fgets(site, sizeof site, f)) site[0] = '\0';
    std::fclose(f);
  }
  for (char* c = site; *c; ++c) {
    if (*c == '\n' || *c == '\r') *c = '\0';
  }
  answers[10] = host->connect(host, site, 0, nullptr, nullptr, nullptr, nullptr);
  host->close(host);
  answers[11] = host->addResult(host, "/relative/link.html", "Relative", "probe", 0, 0);
  return 0;
#else
  return 0;
#endif
}

#ifndef TEST_NO_TERMINATE
QM_PLUGIN_EXPORT void QMPluginTerminate(void) {
  ++terminateCount;
  host = nullptr;
}
#endif

QM_PLUGIN_EXPORT int TestInitializeCount() { return initializeCount; }
QM_PLUGIN_EXPORT int TestTerminateCount() { return terminateCount; }
QM_PLUGIN_EXPORT bool TestEntered() { return entered; }
QM_PLUGIN_EXPORT bool TestReturned() { return returned; }
QM_PLUGIN_EXPORT void TestRelease() { released = true; }
QM_PLUGIN_EXPORT const int32_t* TestAnswers() { return answers; }
QM_PLUGIN_EXPORT const char* TestProbeUrl() { return probeUrl; }

}  // extern "C"
