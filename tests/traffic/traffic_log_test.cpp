#include "ui/traffic_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrova {
namespace {

constexpr std::int32_t SENT = 1;
constexpr std::int32_t RECEIVED = 2;
constexpr std::int32_t USER_VALUE = 10;

// GBK line openings, as bytes.
const std::string SENT_OPENING = "\xB7\xA2\xCB\xCD:";      // 发送:
const std::string RECEIVED_OPENING = "\xCA\xD5\xB5\xBD:";  // 收到:

class capturing_sink : public log_sink {
 public:
  void append_line(std::string line) override {
    std::lock_guard guard(lock_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> lines() {
    std::lock_guard guard(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

class counting_sink : public log_sink {
 public:
  void append_line(std::string line) override {
    if (line.size() > 5) count.fetch_add(1, std::memory_order_relaxed);
  }
  std::atomic<int> count{0};
};

void deliver(std::int32_t kind, const char* address, std::int32_t port,
             const byte_sequence& payload) {
  on_datagram(kind, payload.data(), static_cast<std::uint32_t>(payload.size()), address, port,
              USER_VALUE);
}

// Every test starts from an empty record, no pending senders and a fresh sink.
class TrafficLog : public ::testing::Test {
 protected:
  void SetUp() override {
    release_last_datagram();
    set_log_sink(sink);
  }
  void TearDown() override {
    set_log_sink(nullptr);
    release_last_datagram();
  }
  std::shared_ptr<capturing_sink> sink = std::make_shared<capturing_sink>();
};

void expect_record(const datagram_record& record, const std::string& address,
                   const std::string& port, const byte_sequence& payload) {
  EXPECT_EQ(record.last_peer_address, address);
  EXPECT_EQ(record.last_peer_port, port);
  EXPECT_EQ(record.last_payload, payload);
}

TEST_F(TrafficLog, LogsOneLinePerDatagramInTheLogFormat) {
  const struct {
    std::int32_t kind;
    std::int32_t port;
    byte_sequence payload;
    std::string line;
  } cases[] = {
      {RECEIVED,
       3000,
       {0xFE, 0x01, 0x00, 0x48, 0x2A},
       RECEIVED_OPENING + "192.168.3.72:3000 -> [FE0100482A] -> [{254,1,0,72,42}]\r\n"},
      {SENT,
       3000,
       {0xFE, 0x01, 0x00, 0x48, 0x00, 0x01, 0x11, 0xF2, 0x3C},
       SENT_OPENING + "192.168.3.72:3000 -> [FE010048000111F23C]\r\n"},
      {RECEIVED, 3001, {}, RECEIVED_OPENING + "192.168.3.72:3001 -> [] -> [{}]\r\n"},
      {SENT, 65535, {}, SENT_OPENING + "192.168.3.72:65535 -> []\r\n"},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    deliver(c.kind, "192.168.3.72", c.port, c.payload);
    expected.push_back(c.line);
  }
  EXPECT_EQ(sink->lines(), expected);
}

TEST_F(TrafficLog, EmptyDatagramStillReplacesAddressAndPort) {
  deliver(RECEIVED, "10.1.1.25", 3000, {0xFE, 0x01, 0x00, 0x48, 0x2A});
  deliver(RECEIVED, "192.168.3.72", 3001, {});
  expect_record(read_last_datagram(), "192.168.3.72", "3001", {});
}

TEST_F(TrafficLog, RecordHoldsOnlyTheLastReceivedDatagram) {
  expect_record(read_last_datagram(), "", "", {});
  deliver(RECEIVED, "10.1.1.25", 3000, {1, 2, 3, 4, 5});
  deliver(RECEIVED, "10.1.1.26", 3002, {9, 8, 7});
  expect_record(read_last_datagram(), "10.1.1.26", "3002", {9, 8, 7});
}

TEST_F(TrafficLog, CompletedSendTouchesNeitherRecordNorPendingSenders) {
  deliver(RECEIVED, "10.1.1.25", 3000, {1, 2, 3, 4});
  deliver(SENT, "10.9.9.9", 4000, {5, 6});
  expect_record(read_last_datagram(), "10.1.1.25", "3000", {1, 2, 3, 4});
  const auto pending = take_pending_senders(100);
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].last_peer_address, "10.1.1.25");
}

TEST_F(TrafficLog, CopiesAddressAndPayloadOutOfTheEnginesBuffers) {
  char address[] = "10.1.1.25";
  byte_sequence buffer = {1, 2, 3, 4};
  on_datagram(RECEIVED, buffer.data(), 4, address, 3000, USER_VALUE);
  std::strcpy(address, "0.0.0.0");
  buffer.assign(4, 0xEE);
  expect_record(read_last_datagram(), "10.1.1.25", "3000", {1, 2, 3, 4});
  expect_record(take_pending_senders(1).at(0), "10.1.1.25", "3000", {1, 2, 3, 4});
}

TEST_F(TrafficLog, LargestDatagramGivesTheFullHexPart) {
  const byte_sequence payload(8192, 0xAB);
  deliver(RECEIVED, "10.1.1.25", 3000, payload);
  const std::string line = sink->lines().at(0);
  const std::string head = RECEIVED_OPENING + "10.1.1.25:3000 -> [";
  ASSERT_EQ(line.compare(0, head.size(), head), 0);
  const std::size_t hex_end = line.find(']', head.size());
  EXPECT_EQ(hex_end - head.size(), 16384u);
  EXPECT_EQ(line.find_first_not_of("AB", head.size()), hex_end);
  EXPECT_EQ(read_last_datagram().last_payload, payload);
}

TEST_F(TrafficLog, WithoutASinkLinesAreDroppedAndTheRecordKept) {
  set_log_sink(nullptr);
  deliver(RECEIVED, "10.1.1.25", 3000, {1, 2, 3, 4});
  EXPECT_TRUE(sink->lines().empty());
  expect_record(read_last_datagram(), "10.1.1.25", "3000", {1, 2, 3, 4});
}

// A sink replaced while a line is being handed to it must outlive the call.
TEST_F(TrafficLog, SinkReplacedDuringTheCallStaysAlive) {
  class self_removing_sink : public log_sink {
   public:
    void append_line(std::string line) override {
      set_log_sink(nullptr);  // drops the only other reference
      lines.push_back(std::move(line));
    }
    std::vector<std::string> lines;
  };
  set_log_sink(std::make_shared<self_removing_sink>());
  deliver(SENT, "10.1.1.25", 3000, {1});
  deliver(SENT, "10.1.1.25", 3000, {2});  // goes nowhere: the sink is gone
  SUCCEED();  // AddressSanitizer reports a use after free if the sink died early
}

TEST_F(TrafficLog, PendingSendersComeInOrderOfFirstArrivalWithLatestValues) {
  deliver(RECEIVED, "10.0.0.1", 3000, {1, 1, 1, 1});
  deliver(RECEIVED, "10.0.0.2", 3000, {2, 2, 2, 2});
  deliver(RECEIVED, "10.0.0.1", 3001, {1, 1, 1, 9});
  deliver(RECEIVED, "10.0.0.3", 3002, {3, 3, 3, 3});
  const auto pending = take_pending_senders(10);
  ASSERT_EQ(pending.size(), 3u);
  expect_record(pending[0], "10.0.0.1", "3001", {1, 1, 1, 9});
  expect_record(pending[1], "10.0.0.2", "3000", {2, 2, 2, 2});
  expect_record(pending[2], "10.0.0.3", "3002", {3, 3, 3, 3});
  EXPECT_TRUE(take_pending_senders(10).empty());
}

TEST_F(TrafficLog, PendingSendersBeyondTheLimitWaitForTheNextTake) {
  for (int i = 0; i < 5; ++i) {
    const std::string address = "10.0.0." + std::to_string(i);
    deliver(RECEIVED, address.c_str(), 3000, {static_cast<std::uint8_t>(i)});
  }
  auto first = take_pending_senders(2);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].last_peer_address, "10.0.0.0");
  EXPECT_EQ(first[1].last_peer_address, "10.0.0.1");

  // A waiting sender heard again keeps its place and takes the new values; a
  // sender already taken queues again at the end.
  deliver(RECEIVED, "10.0.0.3", 3009, {33});
  deliver(RECEIVED, "10.0.0.0", 3000, {44});
  const auto rest = take_pending_senders(10);
  ASSERT_EQ(rest.size(), 4u);
  expect_record(rest[0], "10.0.0.2", "3000", {2});
  expect_record(rest[1], "10.0.0.3", "3009", {33});
  expect_record(rest[2], "10.0.0.4", "3000", {4});
  expect_record(rest[3], "10.0.0.0", "3000", {44});
  EXPECT_TRUE(take_pending_senders(0).empty());
}

TEST_F(TrafficLog, ReleaseEmptiesRecordAndPendingSenders) {
  deliver(RECEIVED, "10.0.0.1", 3000, {1, 2, 3, 4});
  release_last_datagram();
  expect_record(read_last_datagram(), "", "", {});
  EXPECT_TRUE(take_pending_senders(10).empty());
  deliver(RECEIVED, "10.0.0.2", 3000, {5});
  EXPECT_EQ(take_pending_senders(10).size(), 1u);
}

// A datagram whose every value derives from (writer, sequence), so a reader
// can tell whether address, port and payload come from one datagram.
struct flood_datagram {
  std::string address;
  std::int32_t port;
  byte_sequence payload;

  flood_datagram(int writer, int sequence)
      : address("10.0.0." + std::to_string(writer)), port(1000 * writer + sequence % 1000) {
    payload = {static_cast<std::uint8_t>(writer), static_cast<std::uint8_t>(port >> 8),
               static_cast<std::uint8_t>(port & 0xFF)};
    payload.resize(3 + sequence % 7, static_cast<std::uint8_t>(sequence));
  }
};

// The decimal number that text holds entirely, or -1.
int whole_number(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

bool is_one_datagram(const datagram_record& record) {
  const std::string& address = record.last_peer_address;
  if (address.empty()) return record.last_peer_port.empty() && record.last_payload.empty();
  const int writer = whole_number(std::string_view(address).substr(address.rfind('.') + 1));
  const int port = whole_number(record.last_peer_port);
  const byte_sequence& p = record.last_payload;
  return writer > 0 && port / 1000 == writer && p.size() >= 3 && p[0] == writer &&
         p[1] == (port >> 8) && p[2] == (port & 0xFF);
}

TEST_F(TrafficLog, ReaderNeverSeesATornRecordUnderAWriterFlood) {
  constexpr int WRITERS = 4;
  constexpr int DATAGRAMS_PER_WRITER = 5000;
  auto counter = std::make_shared<counting_sink>();
  set_log_sink(counter);

  std::atomic<int> writers_left{WRITERS};
  std::vector<std::thread> writers;
  for (int w = 1; w <= WRITERS; ++w) {
    writers.emplace_back([w, &writers_left] {
      for (int i = 0; i < DATAGRAMS_PER_WRITER; ++i) {
        const flood_datagram d(w, i);
        deliver(RECEIVED, d.address.c_str(), d.port, d.payload);
      }
      writers_left.fetch_sub(1);
    });
  }
  int reads = 0;
  int torn = 0;
  while (writers_left.load() > 0 || reads == 0) {
    if (!is_one_datagram(read_last_datagram())) ++torn;
    ++reads;
  }
  for (auto& t : writers) t.join();

  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_EQ(counter->count.load(), WRITERS * DATAGRAMS_PER_WRITER);
  EXPECT_TRUE(is_one_datagram(read_last_datagram()));

  // Each writer's sender is pending once, with the writer's final datagram.
  const auto pending = take_pending_senders(100);
  ASSERT_EQ(pending.size(), static_cast<std::size_t>(WRITERS));
  std::set<std::string> addresses;
  for (const auto& sender : pending) {
    const int w = whole_number(std::string_view(sender.last_peer_address).substr(7));
    const flood_datagram last(w, DATAGRAMS_PER_WRITER - 1);
    expect_record(sender, last.address, std::to_string(last.port), last.payload);
    addresses.insert(sender.last_peer_address);
  }
  EXPECT_EQ(addresses.size(), static_cast<std::size_t>(WRITERS));
}

TEST_F(TrafficLog, TakingWhileSendersArriveDropsNone) {
  constexpr int WRITERS = 3;
  constexpr int SENDERS_PER_WRITER = 3000;
  set_log_sink(nullptr);

  std::atomic<int> writers_left{WRITERS};
  std::vector<std::thread> writers;
  for (int w = 0; w < WRITERS; ++w) {
    writers.emplace_back([w, &writers_left] {
      for (int i = 0; i < SENDERS_PER_WRITER; ++i) {
        const std::string address = "10." + std::to_string(w) + "." + std::to_string(i / 256) +
                                    "." + std::to_string(i % 256);
        deliver(RECEIVED, address.c_str(), 3000 + w,
                {static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF)});
      }
      writers_left.fetch_sub(1);
    });
  }
  std::vector<datagram_record> taken;
  while (writers_left.load() > 0) {
    for (auto& sender : take_pending_senders(7)) taken.push_back(std::move(sender));
  }
  for (auto& t : writers) t.join();
  for (auto& sender : take_pending_senders(WRITERS * SENDERS_PER_WRITER)) {
    taken.push_back(std::move(sender));
  }

  ASSERT_EQ(taken.size(), static_cast<std::size_t>(WRITERS * SENDERS_PER_WRITER));
  // Every sender once, and each writer's senders in the order they arrived.
  std::set<std::string> distinct;
  std::map<std::string, int> next_of_writer;  // by port, one port a writer
  for (const auto& sender : taken) {
    distinct.insert(sender.last_peer_address);
    const byte_sequence& p = sender.last_payload;
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0] * 256 + p[1], next_of_writer[sender.last_peer_port]++)
        << sender.last_peer_address;
  }
  EXPECT_EQ(distinct.size(), taken.size());
}

}  // namespace
}  // namespace kestrova
