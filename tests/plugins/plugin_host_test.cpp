// The host's side of a plug-in run with plug-ins that misbehave: one that
// lacks an entry point, one that stays in its own code when the search is
// stopped.
#include "search/plugin_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/plugins/plugin_search_fixture.h"

namespace trovelane::testing {
namespace {

// A test plug-in copied into the install folder's "plugins", and the test's
// own handle on the image the host loads from there.
class TestPlugin {
 public:
  TestPlugin(const std::filesystem::path& installFolder, const std::string& name)
      : path_(std::filesystem::absolute(installFolder / "plugins" / (name + ".so"))) {
    std::filesystem::copy_file(std::filesystem::path(HOST_TEST_PLUGIN_DIR) / (name + ".so"), path_);
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  ~TestPlugin() {
    if (handle_) dlclose(handle_);
  }
  template <typename R>
  R Call(const char* name) {
    auto function = reinterpret_cast<R (*)()>(dlsym(handle_, name));
    return function();
  }
  const std::filesystem::path& path() const { return path_; }
  bool loaded() const { return handle_ != nullptr; }

 private:
  std::filesystem::path path_;
  void* handle_ = nullptr;
};

TEST_F(PluginSearchTest, APluginLackingOnlyTerminateIsNeverInitialised) {
  TestPlugin plugin(folder_.path(), "tlnoterminate");
  ASSERT_TRUE(plugin.loaded());
  UsePlugins({"tlnoterminate"});
  ASSERT_TRUE(Search("anything"));
  EXPECT_EQ(plugin.Call<int>("TestInitializeCount"), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "initialized.txt"));
  EXPECT_FALSE(PluginLibraryBusy(plugin.path()));
}

// A file in "plugins" that is no library ends its engine with the loader's
// reason; the other engines of the profile search as usual.
TEST_F(PluginSearchTest, AFileThatIsNoLibraryEndsItsEngineWithTheLoadersReason) {
  {
    std::ofstream file(folder_.path() / "plugins" / "tlbroken.so", std::ios::binary);
    file << "not an ELF image";
  }
  UsePlugins({"tlbroken", "plgpages"});
  ASSERT_TRUE(Search("lantern"));
  const std::vector<EngineReport>& reports = run_->engineReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].ending, EngineEnding::kError);
  EXPECT_EQ(reports[0].detail.rfind("the plug-in library could not be loaded: ", 0), 0u)
      << reports[0].detail;
  EXPECT_NE(reports[0].detail.find("tlbroken.so"), std::string::npos) << reports[0].detail;
  EXPECT_NE(reports[1].ending, EngineEnding::kError) << reports[1].detail;
  EXPECT_GT(reports[1].results, 0);
}

TEST_F(PluginSearchTest, ServicesAnswerOddInputWithoutHarm) {
  TestPlugin plugin(folder_.path(), "tlprobe");
  ASSERT_TRUE(plugin.loaded());
  settings_.search.validationMode = kValidationValRel;
  UsePlugins({"tlprobe"});
  ASSERT_TRUE(Search("anything"));
  EXPECT_EQ(plugin.Call<int>("TestTerminateCount"), 1);
  const int32_t* answers = plugin.Call<const int32_t*>("TestAnswers");
  EXPECT_EQ(answers[0], 0);  // a malformed URL: no request
  EXPECT_EQ(answers[1], kValidationValRel);
  EXPECT_EQ(answers[2], 27);  // behind the text, at the name of its closing tag
  EXPECT_STREQ(plugin.Call<const char*>("TestProbeUrl"), "/found");
  EXPECT_EQ(answers[3], 1);
  EXPECT_EQ(answers[4], 1);  // too long to hand over: dropped, the plug-in goes on
  EXPECT_EQ(answers[5], 1);
  EXPECT_EQ(answers[6], 1);  // a duplicate: dropped silently
  EXPECT_EQ(answers[7], 0);
  EXPECT_EQ(answers[8], 1);  // relative, and no page read yet: dropped, the plug-in goes on
  EXPECT_EQ(answers[9], 1);  // empty: dropped
  EXPECT_EQ(answers[10], 1);
  EXPECT_EQ(answers[11], 1);  // relative to the page just read
  ASSERT_EQ(events_.results.size(), 2u);
  EXPECT_EQ(events_.results[0].url, "http://127.0.0.1:9/one");
  EXPECT_EQ(events_.results[1].url, server_.BaseUrl() + "/relative/link.html");
  EXPECT_EQ(events_.results[0].engineName, "probe");
  EXPECT_EQ(events_.results[0].relevance, 0);
  const auto& row = events_.rows[0];
  EXPECT_NE(std::find(row.begin(), row.end(), "probe status"), row.end());
}

TEST_F(PluginSearchTest, AMissingLibraryEndsItsEngineQuietly) {
  UsePlugins({"nosuchplugin", "plgpages"});
  ASSERT_TRUE(Search("lantern"));
  EXPECT_FALSE(events_.results.empty());
  for (const auto& r : events_.results) EXPECT_EQ(r.engineName, "plgpages");
}

TEST_F(PluginSearchTest, APluginStuckInItsOwnCodeAtStopKeepsItsLibraryUntilItReturns) {
  TestPlugin plugin(folder_.path(), "tlblocking");
  ASSERT_TRUE(plugin.loaded());
  const std::filesystem::path before = std::filesystem::current_path();
  UsePlugins({"tlblocking", "plgresearch"});
  Start("lantern");
  ASSERT_TRUE(WaitFor([&] {
    run_->queue().WaitAndDrain(std::chrono::milliseconds(5));
    return plugin.Call<bool>("TestEntered");
  }));
  // The plug-in runs with the install folder as its current directory; the
  // program's own stays where it was.
  EXPECT_TRUE(std::filesystem::exists(folder_.path() / "initialized.txt"));
  EXPECT_EQ(std::filesystem::current_path(), before);

  const auto stopAt = std::chrono::steady_clock::now();
  run_->StopSearch();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(1));
  EXPECT_FALSE(run_->searching());
  // Still inside: neither terminated nor unloaded under it.
  EXPECT_TRUE(PluginLibraryBusy(plugin.path()));
  EXPECT_EQ(plugin.Call<int>("TestTerminateCount"), 0);

  // The next search does not reuse it; the other engine runs as usual.
  UsePlugins({"tlblocking", "plgpages"});
  ASSERT_TRUE(Search("lantern"));
  EXPECT_EQ(plugin.Call<int>("TestInitializeCount"), 1);
  EXPECT_FALSE(events_.results.empty());

  // Let go: every service it tries now fails at once, and the host
  // terminates and unloads it exactly once.
  plugin.Call<void>("TestRelease");
  ASSERT_TRUE(WaitFor([&] { return !PluginLibraryBusy(plugin.path()); }));
  EXPECT_TRUE(plugin.Call<bool>("TestReturned"));
  EXPECT_EQ(plugin.Call<int>("TestTerminateCount"), 1);
  const int32_t* answers = plugin.Call<const int32_t*>("TestAnswers");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(answers[i], 0) << "service " << i;
  EXPECT_FALSE(SpoolFilesLeft());
}

}  // namespace
}  // namespace trovelane::testing
