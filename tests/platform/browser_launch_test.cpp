#include "platform/browser_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

TEST(BrowserLaunchTest, OnlyWebUrlsAreLaunchable) {
  EXPECT_TRUE(IsLaunchableUrl("http://example.org/"));
  EXPECT_TRUE(IsLaunchableUrl("HTTPS://example.org/a?b=c&d"));
  EXPECT_TRUE(IsLaunchableUrl("ftp://files.example.org/x"));
  EXPECT_FALSE(IsLaunchableUrl("file:///etc/passwd"));
  EXPECT_FALSE(IsLaunchableUrl("javascript:alert(1)"));
  EXPECT_FALSE(IsLaunchableUrl("mailto:a@b"));
  EXPECT_FALSE(IsLaunchableUrl("http://"));
  EXPECT_FALSE(IsLaunchableUrl("--help"));
  EXPECT_FALSE(IsLaunchableUrl("http://a/\nrm -rf"));
  EXPECT_FALSE(IsLaunchableUrl(""));
}

// The browser gets the URL as one argument, exactly as it is: shell
// characters in it are never interpreted.
TEST(BrowserLaunchTest, BrowserGetsTheUrlAsOneArgument) {
  ScratchFolder folder;
  const std::string out = folder.File("argv.txt");
  const std::string browser = folder.File("browser.sh");
  WriteFileBytes(browser, "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > " + out +
                              ".part\nmv " + out + ".part " + out + "\n");
  ::chmod(browser.c_str(), 0755);
  const std::string url = "http://127.0.0.1/a b;$(touch " + folder.File("pwned") + ")&x=`id`";

  ASSERT_TRUE(LaunchBrowserProgram(browser, url));
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(out) && std::chrono::steady_clock::now() < guard) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFileBytes(out), url + "|");
  EXPECT_FALSE(std::filesystem::exists(folder.File("pwned")));
}

TEST(BrowserLaunchTest, RefusesWhatItCannotStart) {
  ScratchFolder folder;
  EXPECT_FALSE(LaunchBrowserProgram("", "http://127.0.0.1/"));
  EXPECT_FALSE(LaunchBrowserProgram(folder.File("no-such-browser"), "http://127.0.0.1/"));
  EXPECT_FALSE(LaunchBrowserProgram("/bin/true", "file:///etc/passwd"));
  EXPECT_FALSE(OpenUrlWithDesktop("file:///etc/passwd"));
  EXPECT_FALSE(OpenFileWithDesktop(folder.File("missing.html")));
}

}  // namespace
}  // namespace trovelane
