#include "link/udp_endpoint.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#endif

#include "support/udp_peer.h"

namespace vantrels {
namespace {

using testing::FreePort;
using testing::UdpPeer;

// Waits until the endpoint has something to read (datagrams on loopback arrive at once, but
// the test should not depend on scheduling).
void AwaitData(const UdpEndpoint &e) {
  pollfd p{e.socketHandle, POLLIN, 0};
  testing::poll(&p, 1, 1000);
}

TEST(UdpEndpoint, BoundToLoopbackOnlyAndNonBlocking) {
  UdpEndpoint e;
  const uint16_t port = FreePort();
  ASSERT_TRUE(e.Open(port));
  sockaddr_in a{};
  socklen_t n = sizeof(a);
  ASSERT_EQ(::getsockname(e.socketHandle, reinterpret_cast<sockaddr *>(&a), &n), 0);
  EXPECT_EQ(ntohl(a.sin_addr.s_addr), 0x7F000001u);
  EXPECT_EQ(ntohs(a.sin_port), port);
#if !defined(_WIN32)
  EXPECT_TRUE(::fcntl(e.socketHandle, F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(::fcntl(e.socketHandle, F_GETFD) & FD_CLOEXEC);
#endif
  uint8_t buffer[16];
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), -1);  // nothing waiting: returns at once

  // Another local address of the machine reaches a different socket, not this one.
  UdpPeer sender;
  sender.SendTo(port, {1, 2, 3}, "127.0.0.2");
  pollfd p{e.socketHandle, POLLIN, 0};
  EXPECT_EQ(testing::poll(&p, 1, 200), 0);
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), -1);
  EXPECT_FALSE(e.HasPeer());
}

TEST(UdpEndpoint, EveryDatagramSetsThePeerAndRepliesGoToTheLastSender) {
  UdpEndpoint e;
  const uint16_t port = FreePort();
  ASSERT_TRUE(e.Open(port));
  UdpPeer a, b;
  uint8_t buffer[64];

  a.SendTo(port, {});  // zero length still counts
  AwaitData(e);
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), 0);
  EXPECT_TRUE(e.HasPeer());
  const uint8_t reply[] = {9, 8, 7};
  e.SendToPeer(reply, sizeof(reply));
  EXPECT_EQ(a.Receive().value_or(std::vector<uint8_t>{}).size(), 3u);

  b.SendTo(port, {5});
  AwaitData(e);
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), 1);
  e.SendToPeer(reply, sizeof(reply));
  EXPECT_TRUE(b.Receive().has_value());
  EXPECT_FALSE(a.Receive(50).has_value());
}

TEST(UdpEndpoint, OversizeDatagramIsLostAndLeavesThePeer) {
  UdpEndpoint e;
  const uint16_t port = FreePort();
  ASSERT_TRUE(e.Open(port));
  UdpPeer a, b;
  uint8_t buffer[2048];
  a.SendTo(port, {1});
  AwaitData(e);
  ASSERT_EQ(e.Receive(buffer, sizeof(buffer)), 1);

  b.SendTo(port, std::vector<uint8_t>(2049, 0x55));
  AwaitData(e);
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), -1);
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), -1);  // gone, not cut short and kept
  const uint8_t reply[] = {1};
  e.SendToPeer(reply, sizeof(reply));
  EXPECT_TRUE(a.Receive().has_value());  // the peer is still the first sender

  b.SendTo(port, std::vector<uint8_t>(2048, 0x55));  // exactly the capacity fits
  AwaitData(e);
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), 2048);
}

// Closed: no receive, no send. A port another socket holds: still closed. Opening again closes the old
// socket first (so the same port binds again) and forgets the peer.
TEST(UdpEndpoint, ClosedHeldAndReopened) {
  UdpEndpoint e;
  uint8_t buffer[16];
  EXPECT_EQ(e.Receive(buffer, sizeof(buffer)), -1);
  e.SendToPeer(buffer, sizeof(buffer));  // must not crash or send
  e.Close();
  UdpPeer holder;
  EXPECT_FALSE(e.Open(holder.Port()));
  EXPECT_FALSE(e.IsOpen());
  const uint16_t port = FreePort();
  ASSERT_TRUE(e.Open(port));
  holder.SendTo(port, {1});
  AwaitData(e);
  ASSERT_EQ(e.Receive(buffer, sizeof(buffer)), 1);
  ASSERT_TRUE(e.Open(port));
  EXPECT_FALSE(e.HasPeer());
  e.SendToPeer(buffer, 1);
  EXPECT_FALSE(holder.Receive(50).has_value());
}

}  // namespace
}  // namespace vantrels
