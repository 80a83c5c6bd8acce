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

#include "engines/profile.h"
#include "tests/tools/loopback_fetch.h"
#include "tools/sample_engines/engine_catalog.h"

extern char** environ;

namespace trovelane::sample {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
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
  // The profile reads back into the definitions of all fifteen engines.
  EXPECT_EQ(testing::Get(port, "/_profile").body, ReadFile(profileFile));
  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(profileFile, catalogue));
  std::vector<SampleEngine> engines = SampleEngineList(3);
  ASSERT_EQ(catalogue.engines.size(), engines.size());
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  for (size_t i = 0; i < engines.size(); ++i) {
    EXPECT_TRUE(catalogue.engines[i] == DefinitionFor(engines[i], base)) << engines[i].name;
  }
  EXPECT_EQ(catalogue.engines.back().searchUrl, base + "/slow3/search");

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
