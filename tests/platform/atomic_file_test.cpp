#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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
  // A file-size limit makes the write fail half way, for root too.
  auto path = (dir_ / "keep.dat").string();
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tight = saved;
  tight.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &tight);
  SaveResult r = WriteFileAtomically(path, std::string(4096, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("keep.dat"), std::string::npos);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
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

TEST_F(AtomicFileTest, SavingThroughALinkReplacesItsTargetAndKeepsTheLink) {
  fs::create_directory(dir_ / "real");
  const fs::path target = dir_ / "real" / "settings.dat";
  std::ofstream(target) << "old";
  fs::create_symlink("real/settings.dat", dir_ / "link.dat");  // relative to its folder
  fs::create_symlink(dir_ / "link.dat", dir_ / "chain.dat");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "chain.dat").string(), "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "chain.dat"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.dat"));
  EXPECT_EQ(Read(target), "new");

  // A link to a file not there yet creates the file, not a plain file in its place.
  fs::create_symlink(dir_ / "real" / "later.dat", dir_ / "dangling.dat");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "dangling.dat").string(), "made"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.dat"));
  EXPECT_EQ(Read(dir_ / "real" / "later.dat"), "made");

  // A loop of links is a failure, not a hang.
  fs::create_symlink(dir_ / "b.loop", dir_ / "a.loop");
  fs::create_symlink(dir_ / "a.loop", dir_ / "b.loop");
  EXPECT_FALSE(WriteFileAtomically((dir_ / "a.loop").string(), "x"));
}

TEST_F(AtomicFileTest, SavesNeverChangeTheUmaskThatOtherThreadsCreateFilesWith) {
  // Saves into memory where the system has it, so that many fit in a moment.
  std::error_code error;
  const fs::path folder = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : dir_;
  const fs::path saved = folder / ("trovelane-umask-" + std::to_string(::getpid()) + ".dat");
  const mode_t previous = ::umask(022);
  std::atomic<bool> done{false};
  std::thread saver([&] {
    for (int i = 0; i < 3000; ++i) WriteFileAtomically(saved.string(), "x", 0644);
    done = true;
  });
  int wrongModes = 0;
  for (int i = 0; !done && i < 200000; ++i) {
    const std::string name = (dir_ / "other.dat").string();
    int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
    struct stat st{};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_mode & 0777) != 0644) ++wrongModes;
    if (fd >= 0) ::close(fd);
    ::unlink(name.c_str());
  }
  saver.join();
  ::umask(previous);
  EXPECT_EQ(wrongModes, 0) << "a file was created while the umask was 0";
  struct stat st{};
  ASSERT_EQ(::stat(saved.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  fs::remove(saved, error);
}

TEST_F(AtomicFileTest, MissingFolderFails) {
  SaveResult r = WriteFileAtomically((dir_ / "no" / "such.dat").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.error.empty());
}

}  // namespace
}  // namespace trovelane
