#include "engine/detail/completion_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/engine/engine_test_support.h"

// The layer on its own port, with no engine workers competing for its
// completions: what every backend must do for the engine.
namespace kestrova::detail {
namespace {

using testing_support::bytes;
using testing_support::udp_peer;

// One socket on a fresh port, bound to a port the system chose, with the
// fields a receive record would hold.
class CompletionPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(start_socket_layer(), 0);
    // Ports are never destroyed, as in the engine: one for all tests here.
    static const cp_port shared_port = create_port();
    port_ = shared_port;
    ASSERT_NE(port_, CP_INVALID_PORT);
    socket_ = open_socket();
  }
  void TearDown() override { close_socket(socket_); }

  cp_socket open_socket() {
    cp_error error = 0;
    cp_socket socket = udp_socket(&error);
    EXPECT_NE(socket, CP_INVALID_SOCKET);
    EXPECT_TRUE(associate_socket(port_, socket));
    EXPECT_TRUE(bind_any(socket, 0, &error));
    return socket;
  }

  bool post(cp_socket socket) {
    overlapped_ = {};
    from_length_ = sizeof from_;
    cp_error error = 0;
    return post_receive(socket, &buffer_, &byte_count_, &flags_, &from_, &from_length_,
                        &overlapped_, &error);
  }

  bytes received(cp_count length) const { return bytes(storage_, storage_ + length); }

  cp_port port_ = CP_INVALID_PORT;
  cp_socket socket_ = CP_INVALID_SOCKET;
  cp_overlapped overlapped_{};
  char storage_[8192]{};
  cp_buffer buffer_{sizeof storage_, storage_};
  cp_count byte_count_ = 0;
  cp_count flags_ = 0;
  sockaddr_in from_{};
  int from_length_ = sizeof from_;
};

TEST_F(CompletionPortTest, DequeueTimesOutWithoutAnOperation) {
  const completion done = dequeue(port_, 20);
  EXPECT_FALSE(done.ok);
  EXPECT_EQ(done.overlapped, nullptr);
}

TEST_F(CompletionPortTest, ReceiveCompletionCarriesTheDatagramsInOrder) {
  udp_peer peer;
  ASSERT_TRUE(post(socket_));
  for (std::uint8_t i = 0; i < 3; ++i) ASSERT_TRUE(peer.send_to(local_port(socket_), &i, 1));
  std::vector<bytes> datagrams;
  while (datagrams.size() < 3) {
    const completion done = dequeue(port_, 5000);
    ASSERT_TRUE(done.ok);
    ASSERT_EQ(done.overlapped, &overlapped_);
    ASSERT_GE(done.datagrams, 1u);
    for (std::uint32_t i = 0; i < done.datagrams; ++i) {
      datagrams.push_back(received(load_datagram(done, i)));
      EXPECT_EQ(ntohs(from_.sin_port), peer.port());
      EXPECT_EQ(std::strcmp(address_text(from_.sin_addr), "127.0.0.1"), 0);
    }
    if (datagrams.size() < 3) {
      ASSERT_TRUE(post(socket_));
    }
  }
  EXPECT_EQ(datagrams, (std::vector<bytes>{{0}, {1}, {2}}));
}

#if !defined(_WIN32)
TEST_F(CompletionPortTest, OneReceiveTakesAtMostOneBatch) {
  udp_peer peer;
  const std::uint32_t sent = MAX_RECEIVE_BATCH + 10;
  for (std::uint32_t i = 0; i < sent; ++i) ASSERT_TRUE(peer.send_to(local_port(socket_), &i, 4));
  ASSERT_TRUE(post(socket_));
  const completion first = dequeue(port_, 5000);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.datagrams, MAX_RECEIVE_BATCH);
  ASSERT_TRUE(post(socket_));
  const completion rest = dequeue(port_, 5000);
  ASSERT_TRUE(rest.ok);
  EXPECT_EQ(rest.datagrams, 10u);
  std::uint32_t last = 0;
  ASSERT_EQ(load_datagram(rest, rest.datagrams - 1), 4u);
  std::memcpy(&last, storage_, 4);
  EXPECT_EQ(last, sent - 1);
}
#endif

TEST_F(CompletionPortTest, SendCompletesThroughThePort) {
  udp_peer peer;
  char payload[] = "abc";
  cp_buffer buffer{3, payload};
  sockaddr_in to = udp_peer::loopback(peer.port());
  cp_overlapped overlapped{};
  cp_error error = 0;
  ASSERT_TRUE(post_send(socket_, &buffer, &to, &overlapped, &error));
  const completion done = dequeue(port_, 5000);
  EXPECT_TRUE(done.ok);
  EXPECT_EQ(done.overlapped, &overlapped);
  EXPECT_EQ(done.bytes, 3u);
  EXPECT_EQ(peer.receive(), (bytes{'a', 'b', 'c'}));
}

#if !defined(_WIN32)
TEST_F(CompletionPortTest, SendsThatWaitForWritabilityCompleteInOrder) {
  udp_peer peer;
  char first[] = "1";
  char second[] = "22";
  cp_buffer buffers[] = {{1, first}, {2, second}};
  const sockaddr_in to = udp_peer::loopback(peer.port());
  cp_overlapped blocks[2]{};
  cp_error error = 0;
  defer_next_send(socket_);
  ASSERT_TRUE(post_send(socket_, &buffers[0], &to, &blocks[0], &error));
  ASSERT_TRUE(post_send(socket_, &buffers[1], &to, &blocks[1], &error));
  for (int i = 0; i < 2; ++i) {
    const completion done = dequeue(port_, 5000);
    ASSERT_TRUE(done.ok);
    EXPECT_EQ(done.overlapped, &blocks[i]);
    EXPECT_EQ(done.bytes, buffers[i].len);
  }
  EXPECT_EQ(peer.receive(), (bytes{'1'}));
  EXPECT_EQ(peer.receive(), (bytes{'2', '2'}));
}

TEST_F(CompletionPortTest, CloseAbortsTheSendsWaitingForWritability) {
  char payload[] = "x";
  cp_buffer buffer{1, payload};
  const sockaddr_in to = udp_peer::loopback(9);
  cp_overlapped blocks[2]{};
  cp_error error = 0;
  defer_next_send(socket_);
  ASSERT_TRUE(post_send(socket_, &buffer, &to, &blocks[0], &error));
  ASSERT_TRUE(post_send(socket_, &buffer, &to, &blocks[1], &error));
  close_socket(socket_);
  for (int i = 0; i < 2; ++i) {
    const completion done = dequeue(port_, 5000);
    EXPECT_FALSE(done.ok);
    EXPECT_EQ(done.overlapped, &blocks[i]);
  }
  EXPECT_EQ(dequeue(port_, 20).overlapped, nullptr);
}
#endif

TEST_F(CompletionPortTest, CloseAbortsThePendingReceive) {
  ASSERT_TRUE(post(socket_));
  close_socket(socket_);
  const completion done = dequeue(port_, 5000);
  EXPECT_FALSE(done.ok);
  EXPECT_EQ(done.overlapped, &overlapped_);
  EXPECT_NE(done.error, 0);
  // Nothing more comes for it, and the closed socket takes no operation.
  EXPECT_EQ(dequeue(port_, 20).overlapped, nullptr);
  EXPECT_FALSE(post(socket_));
}

// Windows hands a closed socket's value to the next socket at once, and the
// layer passes Winsock's SOCKET through unchanged there.
#if !defined(_WIN32)
TEST_F(CompletionPortTest, AStaleSocketValueNeverReachesALaterSocket) {
  const cp_socket old_socket = socket_;
  close_socket(old_socket);
  socket_ = open_socket();  // may reuse the same slot
  EXPECT_NE(socket_, old_socket);
  EXPECT_FALSE(post(old_socket));
  close_socket(old_socket);
  EXPECT_NE(local_port(socket_), 0);
  ASSERT_TRUE(post(socket_));
}
#endif

TEST_F(CompletionPortTest, InjectedFailuresCompleteOrRefuseTheReceive) {
  ASSERT_TRUE(post(socket_));
  fail_pending_receive(socket_, &overlapped_);
  const completion done = dequeue(port_, 5000);
  EXPECT_FALSE(done.ok);
  EXPECT_EQ(done.overlapped, &overlapped_);

  fail_next_receive_post(socket_);
  EXPECT_FALSE(post(socket_));
  EXPECT_TRUE(post(socket_));
}

TEST(AddressTextTest, ConvertsBothWays) {
  EXPECT_EQ(address_from_text("127.0.0.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(address_from_text("127.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(address_from_text("not an address"), INADDR_NONE);
  EXPECT_EQ(address_from_text(nullptr), INADDR_NONE);
  const struct {
    std::uint32_t host_order;
    const char* text;
  } rows[] = {{0xC0A80348, "192.168.3.72"},    {0, "0.0.0.0"},
              {0xFFFFFFFF, "255.255.255.255"}, {0x0A00090F, "10.0.9.15"},
              {0x7F000001, "127.0.0.1"},       {0x64C80A01, "100.200.10.1"}};
  for (const auto& row : rows) {
    in_addr address{};
    address.s_addr = htonl(row.host_order);
    EXPECT_STREQ(address_text(address), row.text);
  }
}

#if defined(_WIN32)
// What the Windows backend does about Winsock's UDP quirks.
class IocpCompletionPortTest : public CompletionPortTest {
 protected:
  void SetUp() override {
    CompletionPortTest::SetUp();
    // What earlier tests' closes aborted, so each test starts on an empty port.
    while (dequeue(port_, 20).overlapped != nullptr) {
    }
  }

  std::size_t waiting_bytes() const {
    u_long waiting = 0;
    ioctlsocket(socket_, FIONREAD, &waiting);
    return waiting;
  }
};

// Winsock ends the receive with WSAEMSGSIZE after filling the buffer: at
// once when the datagram was already waiting, through the port otherwise.
// Both come out as a success carrying the first 8192 bytes.
TEST_F(IocpCompletionPortTest, LongDatagramsDeliverTheirFirstBytesWhetherWaitingOrNot) {
  udp_peer peer;
  bytes datagram(9000);
  for (std::size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<std::uint8_t>(i * 3);
  const bytes first(datagram.begin(), datagram.begin() + sizeof storage_);

  for (const bool waiting_before_post : {true, false}) {
    if (waiting_before_post) {
      ASSERT_TRUE(peer.send_to(local_port(socket_), datagram));
      ASSERT_TRUE(testing_support::wait_until([&] { return waiting_bytes() > 0; }));
      ASSERT_TRUE(post(socket_));
    } else {
      ASSERT_TRUE(post(socket_));
      ASSERT_TRUE(peer.send_to(local_port(socket_), datagram));
    }
    const completion done = dequeue(port_, 5000);
    ASSERT_TRUE(done.ok) << waiting_before_post << " error " << done.error;
    EXPECT_EQ(done.overlapped, &overlapped_);
    EXPECT_EQ(done.datagrams, 1u);
    EXPECT_EQ(done.bytes, sizeof storage_);
    EXPECT_EQ(received(done.bytes), first) << waiting_before_post;
  }
  EXPECT_EQ(dequeue(port_, 20).overlapped, nullptr);
}

// Without SIO_UDP_CONNRESET switched off, the ICMP port-unreachable for the
// first send fails the next receive with WSAECONNRESET. (Wine never reports
// it, so there this only shows that the socket keeps working.)
TEST_F(IocpCompletionPortTest, ASendToAClosedPortLeavesTheNextReceiveWorking) {
  const std::uint16_t closed_port = testing_support::free_udp_port();
  char payload[] = "x";
  cp_buffer buffer{1, payload};
  const sockaddr_in to = udp_peer::loopback(closed_port);
  cp_overlapped send_block{};
  cp_error error = 0;
  ASSERT_TRUE(post_send(socket_, &buffer, &to, &send_block, &error));
  const completion sent = dequeue(port_, 5000);
  ASSERT_EQ(sent.overlapped, &send_block);

  udp_peer peer;
  ASSERT_TRUE(post(socket_));
  const std::uint8_t byte = 42;
  ASSERT_TRUE(peer.send_to(local_port(socket_), &byte, 1));
  const completion done = dequeue(port_, 5000);
  ASSERT_TRUE(done.ok) << "error " << done.error;
  EXPECT_EQ(done.overlapped, &overlapped_);
  EXPECT_EQ(received(done.bytes), bytes{42});
}

// A send longer than any UDP datagram fails at once and queues nothing, the
// longest possible one goes out whole.
TEST_F(IocpCompletionPortTest, SendsAreLimitedToOneUdpDatagram) {
  udp_peer peer;
  std::vector<char> payload(65508, 'p');
  const sockaddr_in to = udp_peer::loopback(peer.port());
  cp_overlapped block{};
  cp_error error = 0;
  cp_buffer too_long{65508, payload.data()};
  EXPECT_FALSE(post_send(socket_, &too_long, &to, &block, &error));
  EXPECT_EQ(error, WSAEMSGSIZE);
  EXPECT_EQ(dequeue(port_, 50).overlapped, nullptr);

  cp_buffer longest{65507, payload.data()};
  ASSERT_TRUE(post_send(socket_, &longest, &to, &block, &error));
  const completion done = dequeue(port_, 5000);
  EXPECT_TRUE(done.ok);
  EXPECT_EQ(done.bytes, 65507u);
  const auto arrived = peer.receive();
  ASSERT_TRUE(arrived);
  EXPECT_EQ(arrived->size(), 65507u);
}
#endif

}  // namespace
}  // namespace kestrova::detail
