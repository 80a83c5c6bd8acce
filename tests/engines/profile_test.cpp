#include "engines/profile.h"

#include <gtest/gtest.h>

#include "engines/engine_file.h"
#include "engines/profile_list.h"
#include "tests/engines/engine_samples.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WindowsEngineFile;
using testing::WriteFileBytes;

class ProfileTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string path_ = folder_.File("default.prf");
};

TEST_F(ProfileTest, LoadsAWindowsProfileAndSavesItWithTheSameContent) {
  std::string windows = "COM = 3\r\nMAX = 250\r\nTAR = -1\r\n" + WindowsEngineFile("First") +
                        WindowsEngineFile("Second") + WindowsEngineFile("Third");
  WriteFileBytes(path_, windows);
  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(path_, catalogue).ok());
  ASSERT_EQ(catalogue.engines.size(), 3u);
  EXPECT_EQ(catalogue.engines[2].name, "Third");
  EXPECT_EQ(catalogue.header, (ProfileHeader{3, 250, -1}));

  ASSERT_TRUE(SaveProfile(path_, catalogue).ok());
  std::string lf = windows;
  std::erase(lf, '\r');
  EXPECT_EQ(ReadFileBytes(path_), lf);
}

TEST_F(ProfileTest, ATruncatedDefinitionEndsLoadingAndKeepsTheOnesBefore) {
  std::string third = WindowsEngineFile("Third");
  WriteFileBytes(path_, "COM = 0\nMAX = 0\nTAR = 0\n" + WindowsEngineFile("First") +
                            WindowsEngineFile("Second") + third.substr(0, third.size() / 2));
  EngineCatalogue catalogue;
  catalogue.engines.resize(7);
  ASSERT_TRUE(LoadProfile(path_, catalogue).ok());
  ASSERT_EQ(catalogue.engines.size(), 2u);
  EXPECT_EQ(catalogue.engines[1].name, "Second");
}

TEST_F(ProfileTest, HeaderCases) {
  EngineCatalogue catalogue;
  catalogue.header = {5, 6, 7};

  // A header line without a third word keeps its value; a word without digits reads 0.
  WriteFileBytes(path_, "COM = 1\nMAX\nTAR = x\n");
  ASSERT_TRUE(LoadProfile(path_, catalogue).ok());
  EXPECT_EQ(catalogue.header, (ProfileHeader{1, 6, 0}));
  EXPECT_TRUE(catalogue.engines.empty());
  ASSERT_TRUE(SaveProfile(path_, catalogue).ok());
  EXPECT_EQ(ReadFileBytes(path_), "COM = 1\nMAX = 6\nTAR = 0\n");

  // Fewer than three header lines: no engines, even if a definition follows.
  WriteFileBytes(path_, "COM = 1\nMAX = 2\n");
  catalogue.engines.resize(2);
  ASSERT_TRUE(LoadProfile(path_, catalogue).ok());
  EXPECT_TRUE(catalogue.engines.empty());

  catalogue.engines.resize(2);
  EXPECT_FALSE(LoadProfile(folder_.File("missing.prf"), catalogue).ok());
  EXPECT_TRUE(catalogue.engines.empty());
}

TEST_F(ProfileTest, AFailedSaveLeavesTheOldFileWhole) {
  EngineCatalogue catalogue;
  catalogue.engines.push_back(testing::FullEngine());
  ASSERT_TRUE(SaveProfile(path_, catalogue).ok());
  const std::string before = ReadFileBytes(path_);

  catalogue.engines.push_back(testing::FullEngine());
  catalogue.engines.back().name = "two\nlines";
  Status refused = SaveProfile(path_, catalogue);
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("line break"), std::string::npos) << refused.message();
  EXPECT_EQ(ReadFileBytes(path_), before);

  // A profile path whose folder is a file cannot be written.
  WriteFileBytes(folder_.File("plain"), "x");
  EXPECT_FALSE(SaveProfile(folder_.File("plain") + "/p.prf", catalogue).ok());
}

class ProfileListTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string list_ = folder_.File(kProfileListFileName);
};

TEST_F(ProfileListTest, ReadsEntriesAndSelectsTheLastMatch) {
  WriteFileBytes(list_,
                 "work.prf\r\n"
                 "Default\tdefault.prf\r\n"
                 "Work\t  work.prf\r\n"
                 "No tab here\r\n"
                 "Work again\twork.prf\n");
  std::string current = "unchanged";
  ReadCurrentProfilePath(list_, current);
  EXPECT_EQ(current, "work.prf");

  std::vector<SearchProfile> list;
  EXPECT_EQ(ReadProfileList(list_, list, current), 3);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], (SearchProfile{"Default", "default.prf"}));
  EXPECT_EQ(list[1], (SearchProfile{"Work", "work.prf"}));
  EXPECT_EQ(list[2], (SearchProfile{"No tab here", ""}));

  std::vector<SearchProfile> none;
  EXPECT_EQ(ReadProfileList(list_, none, "Work.prf"), -1);  // case-sensitive
}

TEST_F(ProfileListTest, MissingListLeavesEverythingAsItWas) {
  std::string current = "kept";
  ReadCurrentProfilePath(list_, current);
  EXPECT_EQ(current, "kept");
  std::vector<SearchProfile> list;
  EXPECT_EQ(ReadProfileList(list_, list, current), -1);
  EXPECT_TRUE(list.empty());
}

TEST_F(ProfileListTest, WrittenListReadsBackAndRefusesUnstorableNames) {
  std::vector<SearchProfile> list = {{"Default", "default.prf"}, {"Shop ping", "/home/u/shop.prf"}};
  std::string selected;
  ASSERT_TRUE(WriteProfileList(list_, list, 1, selected).ok());
  EXPECT_EQ(selected, "/home/u/shop.prf");
  EXPECT_EQ(ReadFileBytes(list_),
            "/home/u/shop.prf\nDefault\tdefault.prf\nShop ping\t/home/u/shop.prf\n");

  std::vector<SearchProfile> read;
  EXPECT_EQ(ReadProfileList(list_, read, selected), 1);
  EXPECT_EQ(read, list);

  list.push_back({"Bad\tname", "x.prf"});
  selected = "unchanged";
  EXPECT_FALSE(WriteProfileList(list_, list, 0, selected).ok());
  EXPECT_EQ(selected, "unchanged");
  EXPECT_EQ(read.size(), 2u);
}

}  // namespace
}  // namespace trovelane
