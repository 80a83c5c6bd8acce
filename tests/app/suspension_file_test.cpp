#include "app/suspension_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/program_state.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using namespace std::chrono_literals;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

const WallClock::time_point kNow = WallClock::time_point(std::chrono::seconds(1796731200));

class SuspensionFileTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string path_ = folder_.File(kSuspensionFileName);
};

TEST_F(SuspensionFileTest, SuspensionsReadBackAndThoseRunOutAreDropped) {
  EngineSuspensions list;
  list.Suspend({"Duck \"quoted\" Go", kNow + 1h, BlockKind::kCaptcha, 0});
  list.Suspend({"Brave", kNow + 3min, BlockKind::kHttpStatus, 429});
  list.Suspend({"Old", kNow - 1s, BlockKind::kHttpStatus, 403});
  ASSERT_TRUE(SaveSuspensions(path_, list, kNow).ok());
  EXPECT_EQ(ReadFileBytes(path_).find("Old"), std::string::npos);  // run out: not written

  EngineSuspensions read;
  read.Suspend({"stale", kNow + 1h, BlockKind::kCaptcha, 0});  // replaced by the file
  ASSERT_TRUE(LoadSuspensions(path_, read, kNow).ok());
  ASSERT_EQ(read.all().size(), 2u);
  EXPECT_EQ(read.all()[0], (Suspension{"Duck \"quoted\" Go", kNow + 1h, BlockKind::kCaptcha, 0}));
  EXPECT_EQ(read.all()[1], (Suspension{"Brave", kNow + 3min, BlockKind::kHttpStatus, 429}));

  // Read five minutes later, Brave's has run out.
  ASSERT_TRUE(LoadSuspensions(path_, read, kNow + 5min).ok());
  ASSERT_EQ(read.all().size(), 1u);
  EXPECT_EQ(read.all()[0].engineName, "Duck \"quoted\" Go");

  // No file: nothing suspended, and no complaint.
  std::filesystem::remove(path_);
  EXPECT_TRUE(LoadSuspensions(path_, read, kNow).ok());
  EXPECT_TRUE(read.all().empty());
}

TEST_F(SuspensionFileTest, ADamagedFileSuspendsNothingAndSaysSo) {
  const char* damaged[] = {
      "",
      "{\"suspensions\": [",
      "[1, 2]",
      "{\"suspensions\": {}}",
      "{\"suspensions\": [7]}",
      "{\"suspensions\": [{\"engine\": \"a\", \"until\": \"soon\", \"block\": \"captcha\"}]}",
      "{\"suspensions\": [{\"engine\": \"a\", \"until\": 1796734800, \"block\": \"http\"}]}",
      "{\"suspensions\": [{\"engine\": \"a\", \"until\": 1796734800, \"block\": \"ban\"}]}",
      // A good entry before a bad one is not kept either.
      "{\"suspensions\": [{\"engine\": \"a\", \"until\": 1796734800, \"block\": \"captcha\"}, "
      "{\"engine\": 5}]}",
  };
  for (const char* text : damaged) {
    WriteFileBytes(path_, text);
    EngineSuspensions list;
    list.Suspend({"x", kNow + 1h, BlockKind::kCaptcha, 0});
    Status loaded = LoadSuspensions(path_, list, kNow);
    EXPECT_EQ(loaded.code(), Status::Code::kCorruption) << text;
    EXPECT_NE(loaded.message().find("is damaged"), std::string::npos) << loaded.message();
    EXPECT_NE(loaded.message().find("no engine is suspended"), std::string::npos);
    EXPECT_TRUE(list.all().empty()) << text;
  }
  // Saving again replaces the damaged file with a good one.
  EngineSuspensions list;
  list.Suspend({"a", kNow + 1h, BlockKind::kCaptcha, 0});
  ASSERT_TRUE(SaveSuspensions(path_, list, kNow).ok());
  EngineSuspensions read;
  EXPECT_TRUE(LoadSuspensions(path_, read, kNow).ok());
  EXPECT_EQ(read.all().size(), 1u);
}

// What stands in the file's place is looked at before a byte is read: a
// folder, a pipe nobody writes to and a huge sparse file are named and
// suspend nothing, without an exception, a hang or the memory filled.
TEST_F(SuspensionFileTest, AFolderAPipeOrAHugeFileInItsPlaceIsNamed) {
  const auto expectNamed = [&](const char* what) {
    EngineSuspensions list;
    list.Suspend({"x", kNow + 1h, BlockKind::kCaptcha, 0});
    Status loaded = LoadSuspensions(path_, list, kNow);
    EXPECT_FALSE(loaded.ok()) << what;
    EXPECT_NE(loaded.message().find(path_), std::string::npos) << loaded.message();
    EXPECT_NE(loaded.message().find(what), std::string::npos) << loaded.message();
    EXPECT_TRUE(list.all().empty()) << what;
  };
  std::filesystem::create_directory(path_);
  expectNamed("is a folder");
  std::filesystem::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  expectNamed("not a regular file");
  std::filesystem::remove(path_);
  WriteFileBytes(path_, "{}");
  std::filesystem::resize_file(path_, 1ull << 40);  // sparse: takes no disk
  expectNamed("larger than");
}

// An "until" beyond what the clock can hold stays a suspension (the latest
// time it can hold) instead of wrapping round into the past.
TEST_F(SuspensionFileTest, AFarFutureUntilStaysSuspended) {
  for (const char* until : {"9300000000000000", "9223372036854775807", "18446744073709551615"}) {
    WriteFileBytes(path_, std::string("{\"suspensions\": [{\"engine\": \"a\", \"until\": ") +
                              until + ", \"block\": \"captcha\"}]}");
    EngineSuspensions list;
    ASSERT_TRUE(LoadSuspensions(path_, list, kNow).ok()) << until;
    ASSERT_EQ(list.all().size(), 1u) << until;
    EXPECT_GT(list.all()[0].until, kNow + 24h * 365 * 100) << until;
  }
}

TEST_F(SuspensionFileTest, StartUpReadsTheFileAndWarnsOfADamagedOne) {
  ScratchFolder home;
  WriteFileBytes(home.File(kSuspensionFileName), "not json");
  ProgramState state;
  StartUpOptions options;
  options.home = home.path().string();
  options.detectBrowser = [] { return std::string(); };
  ASSERT_TRUE(StartUp(options, state).ok());
  EXPECT_TRUE(state.suspensions.all().empty());
  bool warned = false;
  for (const std::string& w : state.warnings) warned = warned || w.find("is damaged") != w.npos;
  EXPECT_TRUE(warned);

  EngineSuspensions list;
  list.Suspend({"a", WallClock::now() + 1h, BlockKind::kCaptcha, 0});
  ASSERT_TRUE(SaveSuspensions(home.File(kSuspensionFileName), list, WallClock::now()).ok());
  ProgramState again;
  ASSERT_TRUE(StartUp(options, again).ok());
  EXPECT_EQ(again.suspensions.all().size(), 1u);
}

}  // namespace
}  // namespace trovelane
