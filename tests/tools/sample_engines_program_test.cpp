#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/tools/loopback_fetch.h"
#include "tools/sample_engines/engine_catalog.h"
#include "tools/sample_engines/profile_text.h"

extern char** environ;

namespace trovelane::sample {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The keys of a definition's lines, in order.
std::vector<std::string> Keys(const std::string& text) {
  std::vector<std::string> keys;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find(" = ")));
  return keys;
}

TEST(SampleProfileTest, DefinitionLinesComeInReaderOrder) {
  ProfileEngine e = ProfileFor(SampleEngineList(0)[7], "http://127.0.0.1:1");  // cookie
  ASSERT_EQ(e.name, "cookie");
  e.skippedDomains = {"ads"};
  e.skippedUrls = {"http://127.0.0.1:1/x.html"};
  const std::vector<std::string> expected = {
      "SIT", "ACT", "SID", "RID",  "TEC",  "ITR",  "RES",  "SEP",  "SEL",  "PAR", "USB",  "AND",
      "OR",  "NOT", "EXC", "PNM0", "PDV0", "PAT0", "PNM1", "PDV1", "PAT1", "SEC", "SET0", "AEC",
      "DSC", "DS0", "USC", "DS0",  "RST",  "LIN",  "REF",  "COC",  "CO0",  "CO1", "COO"};
  EXPECT_EQ(Keys(EngineDefinitionText(e)), expected);
  std::string text = EngineDefinitionText(e);
  EXPECT_NE(text.find("\nPDV0 = \n"), std::string::npos);  // empty values end after "= "
  EXPECT_NE(text.find("\nCO1 = http://127.0.0.1:1/cookie/consent.html\nCOO = 1\n"),
            std::string::npos);
  EXPECT_EQ(ProfileText({}), "COM = 0\nMAX = 0\nTAR = 0\n");
}

// The program end to end: it writes its port and profile, serves them, and
// ends on SIGTERM, removing the port file.
TEST(SampleEnginesProgramTest, ServesWritesProfileAndStopsOnSignal) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("sample-engines-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string portFile = (dir / "port").string();
  const std::string profileFile = (dir / "sample.prf").string();
  std::vector<std::string> args = {
      SAMPLE_ENGINES_PROGRAM, "--port-file", portFile,     "--profile", profileFile,
      "--slow-engines",       "3",           "--lifetime", "60"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  uint16_t port = 0;
  for (int i = 0; i < 100 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port = static_cast<uint16_t>(std::atoi(ReadFile(portFile).c_str()));
  }
  ASSERT_NE(port, 0) << "no port file";
  std::string profile = ReadFile(profileFile);
  EXPECT_EQ(testing::Get(port, "/_profile").body, profile);
  EXPECT_NE(profile.find("SIT = slow3\nACT = http://127.0.0.1:" + std::to_string(port) +
                         "/slow3/search\n"),
            std::string::npos);
  std::vector<std::string> keys = Keys(profile);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "SIT"), 15);  // twelve engines and three slow ones
  EXPECT_EQ(keys.back(), "COO");

  kill(pid, SIGTERM);
  int status = 0;
  auto began = std::chrono::steady_clock::now();
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(fs::exists(portFile));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace trovelane::sample
