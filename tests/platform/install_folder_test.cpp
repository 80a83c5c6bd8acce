#include "platform/install_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "engines/profile.h"
#include "engines/profile_list.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

TEST(InstallFolderTest, FirstStartSeedsTheProfilesAndMakesTheWebOneCurrent) {
  ScratchFolder scratch;
  std::filesystem::path root = scratch.path() / "new/home";
  bool seeded = false;
  ASSERT_TRUE(PrepareInstallFolder(root, &seeded).ok());
  EXPECT_TRUE(seeded);

  std::string current;
  ReadCurrentProfilePath((root / kProfileListFileName).string(), current);
  EXPECT_EQ(current, kWebProfileFileName);
  std::vector<SearchProfile> list;
  EXPECT_EQ(ReadProfileList((root / kProfileListFileName).string(), list, current), 1);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], (SearchProfile{kDefaultProfileDisplayName, kDefaultProfileFileName}));
  EXPECT_EQ(list[1], (SearchProfile{kWebProfileDisplayName, kWebProfileFileName}));
  EXPECT_EQ(list[2], (SearchProfile{kResearchProfileDisplayName, kResearchProfileFileName}));

  // The examples stay on loopback; the web profile names only https engines.
  EngineCatalogue examples;
  ASSERT_TRUE(LoadProfile(InstallFolder(root).Resolve(kDefaultProfileFileName), examples).ok());
  ASSERT_EQ(examples.engines.size(), 2u);
  for (const EngineDefinition& e : examples.engines) {
    EXPECT_EQ(e.searchUrl.rfind("http://127.0.0.1:", 0), 0u) << e.searchUrl;
  }
  EXPECT_EQ(examples.engines[1].method, POST);
  EngineCatalogue web;
  ASSERT_TRUE(LoadProfile(InstallFolder(root).Resolve(current), web).ok());
  ASSERT_EQ(web.engines.size(), 9u);
  for (const EngineDefinition& e : web.engines) {
    // The SearXNG engines' address is the user's instance, named later.
    if (e.name.rfind("SearXNG", 0) == 0) continue;
    EXPECT_EQ(e.searchUrl.rfind("https://", 0), 0u) << e.searchUrl;
  }
  EXPECT_EQ(ReadFileBytes(root / kWebProfileFileName), kWebProfileText);
  EXPECT_EQ(ReadFileBytes(root / kResearchProfileFileName), kResearchProfileText);
}

TEST(InstallFolderTest, LaterStartsAndUserFilesAreLeftAlone) {
  ScratchFolder scratch;
  WriteFileBytes(scratch.File(kDefaultProfileFileName), "COM = 1\nMAX = 2\nTAR = 3\n");
  WriteFileBytes(scratch.File(kWebProfileFileName), "COM = 4\nMAX = 5\nTAR = 6\n");
  bool seeded = false;
  ASSERT_TRUE(PrepareInstallFolder(scratch.path(), &seeded).ok());
  EXPECT_TRUE(seeded);
  EXPECT_EQ(ReadFileBytes(scratch.File(kDefaultProfileFileName)), "COM = 1\nMAX = 2\nTAR = 3\n");
  EXPECT_EQ(ReadFileBytes(scratch.File(kWebProfileFileName)), "COM = 4\nMAX = 5\nTAR = 6\n");

  WriteFileBytes(scratch.File(kProfileListFileName), "mine.prf\nMine\tmine.prf\n");
  ASSERT_TRUE(PrepareInstallFolder(scratch.path(), &seeded).ok());
  EXPECT_FALSE(seeded);
  EXPECT_EQ(ReadFileBytes(scratch.File(kProfileListFileName)), "mine.prf\nMine\tmine.prf\n");

  WriteFileBytes(scratch.File("plainfile"), "");
  EXPECT_FALSE(PrepareInstallFolder(scratch.path() / "plainfile").ok());
}

TEST(InstallFolderTest, ResolvesNamesAndChoosesTheXdgFolder) {
  InstallFolder home("/data/tl");
  EXPECT_EQ(home.Resolve("qmknet.dat"), "/data/tl/qmknet.dat");
  EXPECT_EQ(home.Resolve("/elsewhere/p.prf"), "/elsewhere/p.prf");
  EXPECT_EQ(home.PluginFolders().front(), "/data/tl/plugins");

  ScratchFolder scratch;
  std::filesystem::create_directories(scratch.path() / "Profiles");
  WriteFileBytes(scratch.path() / "Profiles/work.prf", "");
  InstallFolder copied(scratch.path());
  EXPECT_EQ(copied.Resolve("Profiles\\work.prf"), (scratch.path() / "Profiles/work.prf").string());
  EXPECT_EQ(copied.Resolve("Profiles\\none.prf"), (scratch.path() / "Profiles\\none.prf").string());

  std::string savedXdg = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
  ::setenv("XDG_DATA_HOME", "/xdg/data", 1);
  EXPECT_EQ(DefaultInstallFolder(), "/xdg/data/trovelane");
  ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
  ::setenv("HOME", getenv("HOME") ? getenv("HOME") : "/root", 1);
  EXPECT_EQ(DefaultInstallFolder(),
            std::filesystem::path(getenv("HOME")) / ".local/share/trovelane");
  if (savedXdg.empty()) {
    ::unsetenv("XDG_DATA_HOME");
  } else {
    ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  }
}

}  // namespace
}  // namespace trovelane
