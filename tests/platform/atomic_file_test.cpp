#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace trovelane {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/trovelane-atomic-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

TEST_F(AtomicFileTest, ReplacesContentAndLeavesNoTemporaryFile) {
  auto path = (dir_ / "a.dat").string();
  ASSERT_TRUE(WriteFileAtomically(path, std::string("one\0two", 7)));
  ASSERT_TRUE(WriteFileAtomically(path, "three"));
  EXPECT_EQ(Read(path), "three");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, NewFileGetsRequestedModeAndForcedModeWins) {
  auto path = (dir_ / "secret.dat").string();
  ASSERT_TRUE(WriteFileAtomically(path, "x", 0600));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(WriteFileAtomically(path, "y", 0600, /*forceMode=*/true));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AtomicFileTest, FailedSaveKeepsOldFileAndSaysWhy) {
  if (::geteuid() == 0) GTEST_SKIP() << "root can write into a read-only folder";
  auto path = (dir_ / "keep.dat").string();
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  SaveResult r = WriteFileAtomically(path, "new");
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("keep.dat"), std::string::npos);
  EXPECT_EQ(Read(path), "old");
}

TEST_F(AtomicFileTest, FailedRenameLeavesTargetAndNoTemporaryFile) {
  // Runs as root too: nothing can rename a file over a non-empty folder.
  fs::create_directory(dir_ / "busy");
  std::ofstream(dir_ / "busy" / "inside") << "kept";
  SaveResult r = WriteFileAtomically((dir_ / "busy").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_EQ(Read(dir_ / "busy" / "inside"), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, MissingFolderFails) {
  SaveResult r = WriteFileAtomically((dir_ / "no" / "such.dat").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.error.empty());
}

}  // namespace
}  // namespace trovelane
