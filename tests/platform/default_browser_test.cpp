#include "platform/default_browser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "platform/command_output.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ScratchFolder;
using testing::WriteFileBytes;

void MakeProgram(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  WriteFileBytes(path, "#!/bin/sh\n");
  ::chmod(path.c_str(), 0755);
}

class DefaultBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lookup_.searchPath = {folder_.path() / "bin"};
    lookup_.dataFolders = {folder_.path() / "nothing", folder_.path() / "share"};
  }
  void WriteEntry(const std::string& id, const std::string& body) {
    std::filesystem::create_directories(folder_.path() / "share/applications");
    WriteFileBytes(folder_.path() / "share/applications" / id, body);
  }
  ScratchFolder folder_;
  BrowserLookup lookup_;
};

TEST_F(DefaultBrowserTest, BrowserVariableComesFirst) {
  MakeProgram(folder_.path() / "bin/webby");
  lookup_.browserVariable = "nosuchbrowser %s:webby --new-tab %s";
  lookup_.defaultDesktopEntry = [] { return std::string("other.desktop"); };
  BrowserInfo info = FindDefaultBrowser(lookup_);
  EXPECT_EQ(info.path, (folder_.path() / "bin/webby").string());
  EXPECT_EQ(info.icon, "");
}

TEST_F(DefaultBrowserTest, DesktopEntryGivesExecProgramAndIcon) {
  std::filesystem::path quoted = folder_.path() / "opt dir/web browser";
  MakeProgram(quoted);
  WriteEntry("web.desktop",
             "[Desktop Action new]\nExec=/bin/false\n[Desktop Entry]\nName=Web\nExec=\"" +
                 quoted.string() + "\" %u\nIcon=web-icon\n");
  lookup_.defaultDesktopEntry = [] { return std::string("web.desktop\n"); };
  BrowserInfo info = FindDefaultBrowser(lookup_);
  EXPECT_EQ(info.path, quoted.string());
  EXPECT_EQ(info.icon, "web-icon");

  MakeProgram(folder_.path() / "bin/plain");
  WriteEntry("web.desktop", "[Desktop Entry]\nExec=plain %U\n");
  EXPECT_EQ(FindDefaultBrowser(lookup_).path, (folder_.path() / "bin/plain").string());
}

TEST_F(DefaultBrowserTest, NothingUsableGivesAnEmptyPath) {
  EXPECT_EQ(FindDefaultBrowser(lookup_).path, "");
  WriteFileBytes(folder_.path() / "notexec", "x");
  lookup_.browserVariable = (folder_.path() / "notexec").string();
  lookup_.defaultDesktopEntry = [] { return std::string("../escape.desktop"); };
  EXPECT_EQ(FindDefaultBrowser(lookup_).path, "");
  WriteEntry("gone.desktop", "[Desktop Entry]\nExec=vanished %u\n");
  lookup_.defaultDesktopEntry = [] { return std::string("gone.desktop"); };
  EXPECT_EQ(FindDefaultBrowser(lookup_).path, "");
}

TEST(CommandProgramTest, QuotedAndPlainCommandLines) {
  EXPECT_EQ(CommandProgram("\"/a b/c\" -x"), "/a b/c");
  EXPECT_EQ(CommandProgram("/usr/bin/w %1"), "/usr/bin/w");
  EXPECT_EQ(CommandProgram("\"unclosed"), "unclosed");
  EXPECT_EQ(CommandProgram(""), "");
}

TEST(CommandOutputTest, OutputStatusAndTimeout) {
  EXPECT_EQ(CommandOutput({"echo", "a b"}, 5000), "a b\n");
  EXPECT_EQ(CommandOutput({"false"}, 5000), std::nullopt);
  EXPECT_EQ(CommandOutput({"no-such-program-here"}, 5000), std::nullopt);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CommandOutput({"sleep", "5"}, 100), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace trovelane
