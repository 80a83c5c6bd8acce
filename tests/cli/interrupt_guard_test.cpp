// Ctrl-C in the commands that run long: the guard's handler in this process
// with real signals, and `fetch` stopped by SIGINT in a child process.
#include "cli/interrupt_guard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "net/http_url.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scratch_folder.h"

namespace trovelane::cli {
namespace {

using namespace std::chrono_literals;

std::atomic<int> previousHandlerCalls{0};
void PreviousHandler(int) { previousHandlerCalls.fetch_add(1); }

// Installs PreviousHandler for SIGINT for the test, and puts back whatever
// was there before.
class SigintHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousHandlerCalls = 0;
    struct sigaction action {};
    action.sa_handler = PreviousHandler;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGINT, &action, &saved_), 0);
  }
  void TearDown() override { sigaction(SIGINT, &saved_, nullptr); }

  static struct sigaction Current() {
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    return now;
  }

  struct sigaction saved_ {};
};

TEST_F(SigintHandlerTest, CancelsThePageWhileInstalledAndRestoresThePreviousHandlerOnEveryPath) {
  CHttpURL page;
  {
    InterruptGuard guard(&page);
    EXPECT_NE(Current().sa_flags & SA_RESTART, 0) << "an interrupted write goes on";
    EXPECT_FALSE(InterruptGuard::Interrupted());
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_TRUE(page.IsCancelled());
    EXPECT_TRUE(InterruptGuard::Interrupted());
    EXPECT_EQ(previousHandlerCalls, 0);
  }
  EXPECT_EQ(Current().sa_handler, PreviousHandler);

  // Left by an exception: the page is no longer reachable from the handler
  // (it may already be destroyed), and the previous handler is back.
  CHttpURL second;
  EXPECT_THROW(
      {
        InterruptGuard guard(&second);
        EXPECT_FALSE(InterruptGuard::Interrupted()) << "each guard starts afresh";
        throw std::runtime_error("the command failed");
      },
      std::runtime_error);
  ASSERT_EQ(raise(SIGINT), 0);
  EXPECT_EQ(previousHandlerCalls, 1);
  EXPECT_FALSE(second.IsCancelled());

  // Without a page Ctrl-C only sets the flag.
  {
    InterruptGuard guard;
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_TRUE(InterruptGuard::Interrupted());
  }
  EXPECT_EQ(previousHandlerCalls, 1);
}

// The handler may run on any thread: one taken by another thread while the
// guard ends never reaches the page after the destructor returned (ASan
// reports it if it does).
TEST_F(SigintHandlerTest, AHandlerOnAnotherThreadIsWaitedForWhenTheGuardEnds) {
  for (int round = 0; round < 200; ++round) {
    auto page = std::make_unique<CHttpURL>();
    auto guard = std::make_unique<InterruptGuard>(page.get());
    std::atomic<bool> release{false};
    std::thread other([&] {
      while (!release) sched_yield();
    });
    pthread_kill(other.native_handle(), SIGINT);
    guard.reset();
    page.reset();
    release = true;
    other.join();
  }
  EXPECT_EQ(Current().sa_handler, PreviousHandler);
}

TEST(FetchCtrlC, SigintEndsAFetchOfASilentServerWithExit130) {
  std::atomic<bool> requested{false};
  test::LoopbackServer silent([&](test::ServerConnection& c) {
    c.ReadRequest();
    requested = true;
    c.WaitForStop();
  });
  testing::ScratchFolder home;
  std::string cli = TROVELANE_CLI_PATH;
  std::vector<std::string> args = {cli, "--home", home.path().string(), "fetch", silent.Url("/")};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, cli.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  for (int i = 0; i < 400 && !requested; ++i) std::this_thread::sleep_for(25ms);
  EXPECT_TRUE(requested);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(pid, SIGINT), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  // The read time-out (10 s by default) would end it otherwise.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "hang guard";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
}

}  // namespace
}  // namespace trovelane::cli
