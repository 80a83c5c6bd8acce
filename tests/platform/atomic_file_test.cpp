#include "platform/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

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
  ASSERT_TRUE(WriteFileAtomically(path, std::string("one\0two", 7)).ok());
  ASSERT_TRUE(WriteFileAtomically(path, "three").ok());
  EXPECT_EQ(Read(path), "three");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, NewFileGetsRequestedModeAndForcedModeWins) {
  auto path = (dir_ / "secret.dat").string();
  ASSERT_TRUE(WriteFileAtomically(path, "x", 0600).ok());
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(WriteFileAtomically(path, "y", 0600, /*forceMode=*/true).ok());
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AtomicFileTest, FailedSaveKeepsOldFileAndSaysWhy) {
  // A file-size limit makes the write fail half way, for root too.
  auto path = (dir_ / "keep.dat").string();
  ASSERT_TRUE(WriteFileAtomically(path, "old").ok());
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tight = saved;
  tight.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &tight);
  Status r = WriteFileAtomically(path, std::string(4096, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.message().find("keep.dat"), std::string::npos);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, FailedRenameLeavesTargetAndNoTemporaryFile) {
  // Runs as root too: nothing can rename a file over a non-empty folder.
  fs::create_directory(dir_ / "busy");
  std::ofstream(dir_ / "busy" / "inside") << "kept";
  Status r = WriteFileAtomically((dir_ / "busy").string(), "x");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(Read(dir_ / "busy" / "inside"), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, SavingThroughALinkReplacesItsTargetAndKeepsTheLink) {
  fs::create_directory(dir_ / "real");
  const fs::path target = dir_ / "real" / "settings.dat";
  std::ofstream(target) << "old";
  fs::create_symlink("real/settings.dat", dir_ / "link.dat");  // relative to its folder
  fs::create_symlink(dir_ / "link.dat", dir_ / "chain.dat");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "chain.dat").string(), "new").ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "chain.dat"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.dat"));
  EXPECT_EQ(Read(target), "new");

  // A link to a file not there yet creates the file, not a plain file in its place.
  fs::create_symlink(dir_ / "real" / "later.dat", dir_ / "dangling.dat");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "dangling.dat").string(), "made").ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.dat"));
  EXPECT_EQ(Read(dir_ / "real" / "later.dat"), "made");

  // A loop of links is a failure, not a hang.
  fs::create_symlink(dir_ / "b.loop", dir_ / "a.loop");
  fs::create_symlink(dir_ / "a.loop", dir_ / "b.loop");
  EXPECT_FALSE(WriteFileAtomically((dir_ / "a.loop").string(), "x").ok());
}

TEST_F(AtomicFileTest, SavesNeverChangeTheUmaskThatOtherThreadsCreateFilesWith) {
  // Saves into memory where the system has it, so that many fit in a moment.
  std::error_code error;
  const fs::path folder = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : dir_;
  const fs::path saved = folder / ("trovelane-umask-" + std::to_string(::getpid()) + ".dat");
  const mode_t previous = ::umask(022);
  std::atomic<bool> done{false};
  std::thread saver([&] {
    for (int i = 0; i < 3000; ++i) WriteFileAtomically(saved.string(), "x", 0644).IgnoreError();
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

// Stands in for fsync of the folder on a file system whose flush fails (a
// disk gone away): the rename is done, but may not survive a crash.
int FailingFolderSyncFake(int) {
  errno = EIO;
  return -1;
}
// A file system that cannot flush folders at all: nothing to report.
int UnsupportedFolderSyncFake(int) {
  errno = EINVAL;
  return -1;
}

class FolderSyncFake {
 public:
  explicit FolderSyncFake(FolderSyncCall fake) : real_(ReplaceFolderSyncForTesting(fake)) {}
  ~FolderSyncFake() { ReplaceFolderSyncForTesting(real_); }

 private:
  FolderSyncCall real_;
};

TEST_F(AtomicFileTest, AFolderThatCannotBeFlushedIsReported) {
  auto path = (dir_ / "flush.dat").string();
  {
    FolderSyncFake failing(&FailingFolderSyncFake);
    Status r = WriteFileAtomically(path, "new");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.message(), "saved, but cannot flush the folder of " + path + ": " + std::strerror(EIO));
    EXPECT_EQ(Read(path), "new");  // replaced, only not yet durable
  }
  {
    FolderSyncFake unsupported(&UnsupportedFolderSyncFake);
    EXPECT_TRUE(WriteFileAtomically(path, "newer").ok());
  }
  EXPECT_TRUE(WriteFileAtomically(path, "real").ok());
  EXPECT_EQ(Read(path), "real");
}

// A save killed half way leaves its hidden temporary; the next good save of
// NAME removes it, and no file of the user's, whatever its name.
TEST_F(AtomicFileTest, TheNextSaveRemovesTemporariesOfAKilledSaveAndNothingElse) {
  auto path = (dir_ / "r.qmk").string();
  ASSERT_TRUE(WriteFileAtomically(path, "old").ok());

  // A child is killed by the file-size signal in the middle of its write.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    rlimit tight{100, 100};
    ::setrlimit(RLIMIT_FSIZE, &tight);
    ::signal(SIGXFSZ, SIG_DFL);
    (void)WriteFileAtomically(path, std::string(4096, 'k'));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_)) {
    if (e.path().filename() != "r.qmk") left.push_back(e.path().filename());
  }
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].substr(0, 22), ".trovelane-save.r.qmk.");
  EXPECT_EQ(Read(path), "old");

  // Names a person gives, of the old six-character shape too, temporaries of
  // another file, and ours that are not regular files or not quite the pattern.
  auto touch = [&](const std::string& name) { std::ofstream(dir_ / name) << "mine"; };
  touch(".trovelane-save.r.qmk.aB3dE9");
  const std::vector<std::string> kept = {
      "r.qmk.backup", "r.qmk.Backup", "r.qmk.Monday", "r.qmk.old001", "r.qmk.aB3dE9",
      ".trovelane-save.s.qmk.aB3dE9", ".trovelane-save.r.qmk.aB3dE", ".trovelane-save.r.qmk.aB-dE9"};
  for (const std::string& name : kept) touch(name);
  fs::create_directory(dir_ / ".trovelane-save.r.qmk.Dir9Ab");
  fs::create_symlink(dir_ / "r.qmk.backup", dir_ / ".trovelane-save.r.qmk.Lnk7Qz");

  ASSERT_TRUE(WriteFileAtomically(path, "new").ok());
  EXPECT_EQ(Read(path), "new");
  EXPECT_FALSE(fs::exists(dir_ / left[0]));
  EXPECT_FALSE(fs::exists(dir_ / ".trovelane-save.r.qmk.aB3dE9"));
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(dir_ / name)) << name;
  EXPECT_TRUE(fs::is_directory(dir_ / ".trovelane-save.r.qmk.Dir9Ab"));
  EXPECT_TRUE(fs::is_symlink(dir_ / ".trovelane-save.r.qmk.Lnk7Qz"));

  // A name as long as a folder entry allows still saves, and cleans up after itself.
  const std::string longName = (dir_ / std::string(NAME_MAX, 'n')).string();
  ASSERT_TRUE(WriteFileAtomically(longName, "long").ok());
  EXPECT_EQ(Read(longName), "long");
}

// A device node or a pipe at an output's path is written into, never
// replaced by a file; a failed write there is a failure, not a success.
TEST_F(AtomicFileTest, OutputsStreamIntoDevicesAndPipesAndSavesNeverReplaceThem) {
  const std::string fifo = (dir_ / "pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  EXPECT_TRUE(WriteOutputFile(fifo, "through the pipe").ok());
  char received[64] = {};
  EXPECT_EQ(::read(readEnd, received, sizeof received), 16);
  ::close(readEnd);
  EXPECT_STREQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo));

  Status refused = WriteFileAtomically(fifo, "x");
  EXPECT_EQ(refused.message(), "cannot replace " + fifo + ": it is not a regular file");
  EXPECT_TRUE(fs::is_fifo(fifo));

  EXPECT_TRUE(WriteOutputFile("/dev/null", "gone").ok());
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  if (fs::is_character_file("/dev/full")) {
    Status full = WriteOutputFile("/dev/full", "no room");
    EXPECT_EQ(full.message(), std::string("cannot write /dev/full: ") + std::strerror(ENOSPC));
  }
  // A regular file is still replaced whole.
  const std::string plain = (dir_ / "plain.htm").string();
  ASSERT_TRUE(WriteOutputFile(plain, "page").ok());
  EXPECT_EQ(Read(plain), "page");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(AtomicFileTest, MissingFolderFails) {
  Status r = WriteFileAtomically((dir_ / "no" / "such.dat").string(), "x");
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.message().empty());
}

}  // namespace
}  // namespace trovelane
