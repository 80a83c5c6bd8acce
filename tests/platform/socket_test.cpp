#include "platform/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
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
            std::chrono::milliseconds(100));
  EXPECT_EQ(n, 0u);
  // Bytes that arrive after the cancel are not handed out.
  ASSERT_EQ(send(peer, "x", 1, 0), 1);
  EXPECT_EQ(socket.Peek(buffer, 1), 0u);
  EXPECT_FALSE(socket.SendAll("y", 1));
  signal.Reset();
  EXPECT_EQ(socket.Peek(buffer, 1), 1u);
  close(peer);
}

TEST(TcpSocket, CancelEndsAConnectThatHangs) {
  // A listener that never accepts, with its queue filled, drops further
  // connection attempts, so the next connect waits.
  Listener listener(0);
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

  CancelSignal signal;
  TcpSocket socket(&signal);
  bool connected = true;
  auto latency =
      LatencyAfterCancel(signal, [&] { connected = socket.Connect("127.0.0.1", listener.port()); });
  for (int fd : fillers) close(fd);
  if (connected) GTEST_SKIP() << "this network stack accepts beyond the queue";
  EXPECT_LT(latency, std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace trovelane
