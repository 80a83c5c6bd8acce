#include "platform/recent_files.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

TEST(RecentFilesTest, KeepsTheNewestFirstWithoutRepeatsAndSurvivesARestart) {
  ScratchFolder folder;
  const std::string file = folder.File(kRecentFilesName);
  RecentFiles recent(file);
  recent.Load();
  EXPECT_TRUE(recent.paths().empty());
  for (const char* p : {"/a.qmk", "/b.qmk", "/c.qmk", "/d.qmk", "/e.qmk"})
    ASSERT_TRUE(recent.Add(p).ok());
  ASSERT_TRUE(recent.Add("/c.qmk").ok());
  EXPECT_EQ(recent.paths(), (std::vector<std::string>{"/c.qmk", "/e.qmk", "/d.qmk", "/b.qmk"}));

  RecentFiles again(file);
  again.Load();
  EXPECT_EQ(again.paths(), recent.paths());
  ASSERT_TRUE(again.Remove("/e.qmk").ok());
  EXPECT_EQ(ReadFileBytes(file), "/c.qmk\n/d.qmk\n/b.qmk\n");
}

TEST(RecentFilesTest, ReadsAnyFileWithoutTrouble) {
  ScratchFolder folder;
  const std::string file = folder.File(kRecentFilesName);
  WriteFileBytes(file, "\r\n/x.qmk\r\n/x.qmk\n\n/y.qmk\n/z\n/w\n/v\n");
  RecentFiles recent(file);
  recent.Load();
  EXPECT_EQ(recent.paths(), (std::vector<std::string>{"/x.qmk", "/y.qmk", "/z", "/w"}));
  // A name with a line break would split into two entries: it is not taken.
  ASSERT_TRUE(recent.Add("/evil\n/etc/passwd").ok());
  EXPECT_EQ(recent.paths().front(), "/x.qmk");
}

}  // namespace
}  // namespace trovelane
