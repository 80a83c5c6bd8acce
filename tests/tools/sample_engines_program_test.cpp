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
#include "tools/sample_engines/plugin_sites.h"

extern char** environ;

namespace trovelane::sample {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The program started with `args`, standard output dropped. Killed and
// reaped at the end of the test if it is still running.
struct Child {
  pid_t pid = 0;
  explicit Child(std::vector<std::string> args) {
    args.insert(args.begin(), SAMPLE_ENGINES_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  // The exit status once the program has ended within `limit`, else -1.
  int WaitExit(std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (pid != 0 && std::chrono::steady_clock::now() < end) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  ~Child() {
    if (pid != 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

// The program end to end: it writes its port and profile, serves them, and
// ends on SIGTERM, removing the port file.
TEST(SampleEnginesProgramTest, ServesWritesProfileAndStopsOnSignal) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("sample-engines-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string portFile = (dir / "port").string();
  const std::string profileFile = (dir / "sample.prf").string();
  Child child({"--port-file", portFile, "--profile", profileFile, "--slow-engines", "3",
               "--lifetime", "60"});
  ASSERT_NE(child.pid, 0);

  uint16_t port = 0;
  for (int i = 0; i < 100 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port = static_cast<uint16_t>(std::atoi(ReadFile(portFile).c_str()));
  }
  ASSERT_NE(port, 0) << "no port file";
  // The profile reads back into the definitions of all fifteen engines.
  EXPECT_EQ(testing::Get(port, "/_profile").body, ReadFile(profileFile));
  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(profileFile, catalogue).ok());
  std::vector<SampleEngine> engines = SampleEngineList(3);
  ASSERT_EQ(catalogue.engines.size(), engines.size());
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  for (size_t i = 0; i < engines.size(); ++i) {
    EXPECT_TRUE(catalogue.engines[i] == DefinitionFor(engines[i], base)) << engines[i].name;
  }
  EXPECT_EQ(catalogue.engines.back().searchUrl, base + "/slow3/search");

  kill(child.pid, SIGTERM);
  EXPECT_EQ(child.WaitExit(std::chrono::seconds(3)), 0);
  EXPECT_FALSE(fs::exists(portFile));
  fs::remove_all(dir);
}

// With --plugin-sites it serves the plug-ins' sites, points the plug-ins at
// them and lists the plug-ins after the engines of its profile.
TEST(SampleEnginesProgramTest, PointsTheSitePluginsAtItsSites) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("sample-plugins-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string portFile = (dir / "port").string();
  const std::string profileFile = (dir / "sample.prf").string();
  Child child({"--port-file", portFile, "--profile", profileFile, "--plugin-sites",
               (dir / "home/plugins").string(), "--lifetime", "60"});
  ASSERT_NE(child.pid, 0);
  uint16_t port = 0;
  for (int i = 0; i < 100 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port = static_cast<uint16_t>(std::atoi(ReadFile(portFile).c_str()));
  }
  ASSERT_NE(port, 0) << "no port file";
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(profileFile, catalogue).ok());
  const auto& sites = PluginSites();
  ASSERT_GT(catalogue.engines.size(), sites.size());
  const size_t first = catalogue.engines.size() - sites.size();
  for (size_t i = 0; i < sites.size(); ++i) {
    const EngineDefinition& engine = catalogue.engines[first + i];
    EXPECT_TRUE(engine.isPlugin);
    EXPECT_EQ(engine.name, sites[i].plugin + ".so");
    EXPECT_EQ(ReadFile(dir / "home/plugins" / (sites[i].plugin + ".site")),
              base + "/site/" + sites[i].plugin + "\n");
  }
  EXPECT_NE(testing::Get(port, "/site/plgresearch/nlquery.fcg?cb=0&qr=lantern").body.find(
                "<!--NLResultListStart--"),
            std::string::npos);
  kill(child.pid, SIGTERM);
  EXPECT_EQ(child.WaitExit(std::chrono::seconds(3)), 0);
  fs::remove_all(dir);
}

TEST(SampleEnginesProgramTest, EndsByItselfAfterItsLifetime) {
  Child child({"--lifetime", "1"});
  ASSERT_NE(child.pid, 0);
  EXPECT_EQ(child.WaitExit(std::chrono::seconds(5)), 0);
}

}  // namespace
}  // namespace trovelane::sample
