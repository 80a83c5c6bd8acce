#include "platform/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/cancel_latency.h"

namespace trovelane {
namespace {

using test::LatencyAfterCancel;

// A listening socket on 127.0.0.1 that the test accepts from by hand.
class Listener {
 public:
  explicit Listener(int backlog = 16) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, backlog);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(fd_); }
  int port() const { return port_; }
  int Accept() { return accept(fd_, nullptr, nullptr); }

 private:
  int fd_;
  int port_;
};

TEST(CancelSignal, StaysRaisedUntilReset) {
  CancelSignal signal;
  EXPECT_FALSE(signal.IsCancelled());
  signal.Cancel();
  signal.Cancel();
  EXPECT_TRUE(signal.IsCancelled());
  EXPECT_TRUE(signal.IsCancelled());
  signal.Reset();
  EXPECT_FALSE(signal.IsCancelled());
}

TEST(TcpSocket, ConnectsByAddressOrNameAndFailsCleanly) {
  Listener listener;
  CancelSignal signal;
  TcpSocket socket(&signal);
  EXPECT_TRUE(socket.Connect("127.0.0.1", listener.port()));
  EXPECT_TRUE(socket.Connect("localhost", listener.port()));
  // The low 16 bits of the port are used.
  EXPECT_TRUE(socket.Connect("127.0.0.1", listener.port() + 65536));

  EXPECT_FALSE(socket.Connect("no-such-host.invalid", listener.port()));
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.Connect("", listener.port()));
  int freePort = listener.port();
  {
    Listener gone;
    freePort = gone.port();
  }
  EXPECT_FALSE(socket.Connect("127.0.0.1", freePort));

  signal.Cancel();
  EXPECT_FALSE(socket.Connect("127.0.0.1", listener.port())) << "a raised signal fails at once";
}

TEST(TcpSocket, PeekLeavesTheBytesAndReceiveTakesThem) {
  Listener listener;
  TcpSocket socket(nullptr);
  ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port()));
  int peer = listener.Accept();
  ASSERT_EQ(send(peer, "abcdef", 6, 0), 6);
  char buffer[16];
  ASSERT_GE(socket.Peek(buffer, 3), 1u);
  EXPECT_EQ(buffer[0], 'a');
  ASSERT_TRUE(socket.ReceiveExact(buffer, 6));
  EXPECT_EQ(std::string(buffer, 6), "abcdef");
  close(peer);
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer), 0u) << "end of stream";
  EXPECT_FALSE(socket.ReceiveExact(buffer, 1));
}

TEST(TcpSocket, CancelEndsAReceiveOrPeekWaitAtOnce) {
  Listener listener;
  CancelSignal signal;
  TcpSocket socket(&signal);
  ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port()));
  int peer = listener.Accept();
  char buffer[16];
  size_t n = 1;
  EXPECT_LT(LatencyAfterCancel(signal, [&] { n = socket.Receive(buffer, sizeof buffer); }),
            test::kCancelBound);
  EXPECT_EQ(n, 0u);
  // Bytes that arrive after the cancel are not handed out.
  ASSERT_EQ(send(peer, "x", 1, 0), 1);
  EXPECT_EQ(socket.Peek(buffer, 1), 0u);
  EXPECT_FALSE(socket.SendAll("y", 1));
  signal.Reset();
  EXPECT_EQ(socket.Peek(buffer, 1), 1u);
  close(peer);
}

// A listener that never accepts, with its queue filled: further connection
// attempts are dropped, so the next connect waits. Returns the filler sockets.
std::vector<int> FillQueue(const Listener& listener) {
  std::vector<int> fillers;
  for (int i = 0; i < 8; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(listener.port()));
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return fillers;
}

TEST(TcpSocket, CancelEndsAConnectThatHangs) {
  Listener listener(0);
  std::vector<int> fillers = FillQueue(listener);
  CancelSignal signal;
  TcpSocket socket(&signal);
  bool connected = true;
  auto latency =
      LatencyAfterCancel(signal, [&] { connected = socket.Connect("127.0.0.1", listener.port()); });
  for (int fd : fillers) close(fd);
  if (connected) GTEST_SKIP() << "this network stack accepts beyond the queue";
  EXPECT_LT(latency, test::kCancelBound);
}

TEST(TcpSocket, TimeOutsEndAConnectOrAReceiveThatHangs) {
  Listener listener(0);
  std::vector<int> fillers = FillQueue(listener);
  CancelSignal signal;
  TcpSocket socket(&signal);
  Timeouts timeouts;
  timeouts.connect = std::chrono::milliseconds(300);
  timeouts.idle = std::chrono::milliseconds(300);
  socket.SetTimeouts(timeouts);
  const auto start = std::chrono::steady_clock::now();
  const bool connected = socket.Connect("127.0.0.1", listener.port());
  for (int fd : fillers) close(fd);
  if (!connected) {
    EXPECT_TRUE(socket.TimedOut());
    EXPECT_FALSE(socket.NameFailed());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }

  Listener quiet;
  ASSERT_TRUE(socket.Connect("127.0.0.1", quiet.port()));
  EXPECT_FALSE(socket.TimedOut()) << "a new connection starts afresh";
  int peer = quiet.Accept();
  char buffer[16];
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(socket.TimedOut());
  EXPECT_FALSE(socket.LastCallFailed()) << "silence is not a broken connection";

  // A deadline ends a wait sooner than the idle time-out would.
  timeouts.idle = std::chrono::seconds(60);
  socket.SetTimeouts(timeouts);
  ASSERT_TRUE(socket.Connect("127.0.0.1", quiet.port()));
  int peer2 = quiet.Accept();
  socket.SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
  const auto waited = std::chrono::steady_clock::now();
  EXPECT_EQ(socket.Peek(buffer, 1), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - waited, std::chrono::seconds(30));
  EXPECT_TRUE(socket.TimedOut());
  close(peer);
  close(peer2);
  if (connected) GTEST_SKIP() << "this network stack accepts beyond the queue";
}

TEST(WaitFor, TimesOutAndStillSeesTheCancelFirst) {
  CancelSignal watched;  // never raised: its fd never becomes readable
  CancelSignal cancel;
  EXPECT_EQ(WaitFor(watched.fd(), POLLIN, &cancel, 50), WaitResult::kTimedOut);
  EXPECT_EQ(WaitFor(watched.fd(), POLLIN, &cancel, 0), WaitResult::kTimedOut);
  cancel.Cancel();
  EXPECT_EQ(WaitFor(watched.fd(), POLLIN, &cancel, 60000), WaitResult::kCancelled);
  watched.Cancel();
  EXPECT_EQ(WaitFor(watched.fd(), POLLIN, nullptr, 0), WaitResult::kReady);
}

}  // namespace
}  // namespace trovelane
