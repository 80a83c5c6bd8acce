#include "platform/browser_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ScratchFolder;

TEST(BrowserLaunchTest, OnlyWebAndFtpUrlsAreLaunched) {
  EXPECT_TRUE(IsLaunchableUrl("http://example.org/"));
  EXPECT_TRUE(IsLaunchableUrl("HTTPS://example.org/a?b=c&d"));
  EXPECT_TRUE(IsLaunchableUrl("ftp://files.example.org/x"));
  EXPECT_FALSE(IsLaunchableUrl("file:///etc/passwd"));
  EXPECT_FALSE(IsLaunchableUrl("javascript:alert(1)"));
  EXPECT_FALSE(IsLaunchableUrl("--new-instance"));
  EXPECT_FALSE(IsLaunchableUrl("http:/x"));
  EXPECT_FALSE(IsLaunchableUrl("http://x/\nsecond"));
  EXPECT_FALSE(LaunchBrowserProgram("", "http://example.org/"));
  EXPECT_FALSE(LaunchBrowserProgram("/bin/true", "file:///etc/passwd"));
}

// The "browser" writes its arguments one a line: a URL full of shell
// characters arrives whole, as one argument, and nothing of it is run.
TEST(BrowserLaunchTest, UrlReachesTheProgramAsOneArgument) {
  ScratchFolder folder;
  std::string out = folder.File("args.txt");
  std::string script = folder.File("browser.sh");
  testing::WriteFileBytes(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                      out + ".part\"\nmv \"" + out + ".part\" \"" + out + "\"\n");
  ::chmod(script.c_str(), 0755);
  std::string url = "http://x/?a=1;touch${IFS}" + folder.File("pwned") + "&b=`id` $(id)";
  ASSERT_TRUE(LaunchBrowserProgram(script, url));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(out) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(testing::ReadFileBytes(out), url + "\n");
  EXPECT_FALSE(std::filesystem::exists(folder.File("pwned")));
  EXPECT_FALSE(SpawnDetached({folder.File("no-such-program")}));
}

}  // namespace
}  // namespace trovelane
