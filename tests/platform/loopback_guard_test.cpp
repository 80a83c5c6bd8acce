// The tests' loopback guard: with TROVELANE_LOOPBACK_ONLY set, nothing the
// program does under test reaches another machine, and trying ends the test
// loudly. Each case runs in a child process, which reads the variable anew.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/socket.h"

namespace trovelane {
namespace {

class LoopbackGuardDeathTest : public ::testing::Test {
 protected:
  // The child re-runs the test program, so that the variable is read fresh.
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void ConnectGuarded(const char* host, int port) {
  setenv(kLoopbackOnlyVariable, "1", 1);
  TcpSocket socket(nullptr);
  Timeouts timeouts;
  timeouts.connect = std::chrono::seconds(2);
  socket.SetTimeouts(timeouts);
  socket.Connect(host, port);
}

TEST_F(LoopbackGuardDeathTest, AConnectionOutsideLoopbackAbortsNamingIt) {
  EXPECT_DEATH(ConnectGuarded("192.0.2.1", 80),
               "TROVELANE_LOOPBACK_ONLY is set: refused to connect to 192\\.0\\.2\\.1 port 80");
  EXPECT_DEATH(ConnectGuarded("2001:db8::1", 443), "refused to connect to 2001:db8::1 port 443");
}

TEST_F(LoopbackGuardDeathTest, LookingUpAPublicNameAborts) {
  // Stopped before any query leaves: a test that forgot its resolve entry
  // must not pass because the name happened not to resolve here.
  EXPECT_DEATH(ConnectGuarded("en.wikipedia.org", 443),
               "refused to look up the name en\\.wikipedia\\.org");
  EXPECT_DEATH(ConnectGuarded("engine", 80), "refused to look up the name engine");
}

TEST_F(LoopbackGuardDeathTest, LoopbackAndReservedNamesPass) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(0x7F010203);  // 127.1.2.3: all of 127/8 is loopback
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);
  EXPECT_EXIT(
      {
        setenv(kLoopbackOnlyVariable, "1", 1);
        TcpSocket socket(nullptr);
        bool loopback = socket.Connect("127.1.2.3", port);
        bool reserved = !socket.Connect("no-such-engine.invalid", port);
        std::_Exit(loopback && reserved ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  close(listener);
}

}  // namespace
}  // namespace trovelane
