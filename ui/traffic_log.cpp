#include "ui/traffic_log.h"

#include <atomic>
#include <deque>
#include <iterator>
#include <mutex>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace kestrova {

namespace {

// The engine's kind of a completed send (IO_SEND); every other kind is a
// received datagram.
constexpr std::int32_t KIND_SENT = 1;

// The line openings are GBK text, written as bytes since this file is UTF-8.
constexpr std::string_view SENT_OPENING = "\xB7\xA2\xCB\xCD:";      // 发送:
constexpr std::string_view RECEIVED_OPENING = "\xCA\xD5\xB5\xBD:";  // 收到:
constexpr std::string_view PAYLOAD_OPENING = " -> [";
constexpr std::string_view DECIMAL_OPENING = "] -> [";
constexpr std::string_view LINE_CLOSING = "]\r\n";

// Senders heard since the last take, in order of first arrival. Each keeps a
// fixed sequence number, so an index by address finds its entry in O(1) and
// taking from the front renumbers nothing.
struct pending_senders {
  std::deque<datagram_record> entries;
  std::unordered_map<std::string, std::uint64_t> sequence_by_address;
  std::uint64_t front_sequence = 0;
};

struct traffic_state {
  std::atomic<std::shared_ptr<log_sink>> sink;
  std::mutex lock;  // guards last and pending
  datagram_record last;
  pending_senders pending;
};

// Never destroyed: the engine's workers are not stopped at exit and may still
// deliver a datagram while static objects are being torn down.
traffic_state& state() {
  static traffic_state* const instance = new traffic_state;
  return *instance;
}

void render_line(std::string& line, bool sent, std::string_view address, std::string_view port,
                 std::span<const std::uint8_t> payload) {
  // Hex takes 2 characters a byte, the decimal list at most 4 ("255,").
  line.reserve(RECEIVED_OPENING.size() + address.size() + 1 + port.size() + PAYLOAD_OPENING.size() +
               DECIMAL_OPENING.size() + LINE_CLOSING.size() + 2 + 6 * payload.size());
  line += sent ? SENT_OPENING : RECEIVED_OPENING;
  line += address;
  line += ':';
  line += port;
  line += PAYLOAD_OPENING;
  append_hex(line, payload);
  if (!sent) {
    line += DECIMAL_OPENING;
    append_decimal_list(line, payload);
  }
  line += LINE_CLOSING;
}

// Replaces the last-datagram record and notes the sender as pending, in one
// critical section. The record's and the entry's buffers are reused, so a
// steady stream from known senders allocates nothing here.
void note_received(const std::string& address, const std::string& port,
                   std::span<const std::uint8_t> payload) {
  traffic_state& s = state();
  std::lock_guard guard(s.lock);
  s.last.last_peer_address.assign(address);
  s.last.last_peer_port.assign(port);
  s.last.last_payload.assign(payload.begin(), payload.end());

  pending_senders& pending = s.pending;
  const auto [found, is_new] = pending.sequence_by_address.try_emplace(
      address, pending.front_sequence + pending.entries.size());
  if (is_new) {
    pending.entries.push_back({address, port, byte_sequence(payload.begin(), payload.end())});
  } else {
    datagram_record& entry = pending.entries[found->second - pending.front_sequence];
    entry.last_peer_port.assign(port);
    entry.last_payload.assign(payload.begin(), payload.end());
  }
}

}  // namespace

void set_log_sink(std::shared_ptr<log_sink> sink) { state().sink.store(std::move(sink)); }

int on_datagram(std::int32_t kind, const std::uint8_t* data, std::uint32_t length,
                const char* peer_address, std::int32_t peer_port, std::int32_t /*user_value*/) {
  // The engine's address text and buffer live only during this call.
  const std::string address = peer_address != nullptr ? peer_address : "";
  const std::string port = number_to_text(peer_port);
  const std::span<const std::uint8_t> payload(data, data != nullptr ? length : 0);
  const bool sent = kind == KIND_SENT;

  // The sink taken here stays alive until the line is handed over, even if
  // the window replaces it meanwhile.
  if (const std::shared_ptr<log_sink> sink = state().sink.load()) {
    std::string line;
    render_line(line, sent, address, port, payload);
    sink->append_line(std::move(line));
  }
  if (!sent) note_received(address, port, payload);
  return 0;
}

datagram_record read_last_datagram() {
  traffic_state& s = state();
  std::lock_guard guard(s.lock);
  return s.last;
}

std::vector<datagram_record> take_pending_senders(std::size_t limit) {
  traffic_state& s = state();
  std::vector<datagram_record> taken;
  pending_senders all;  // released after the lock
  {
    std::lock_guard guard(s.lock);
    pending_senders& pending = s.pending;
    if (pending.entries.size() <= limit) {
      std::swap(all.entries, pending.entries);
      std::swap(all.sequence_by_address, pending.sequence_by_address);
      pending.front_sequence += all.entries.size();
    } else {
      taken.reserve(limit);
      for (std::size_t i = 0; i < limit; ++i) {
        datagram_record& front = pending.entries.front();
        pending.sequence_by_address.erase(front.last_peer_address);
        taken.push_back(std::move(front));
        pending.entries.pop_front();
      }
      pending.front_sequence += limit;
    }
  }
  if (!all.entries.empty()) {
    taken.assign(std::make_move_iterator(all.entries.begin()),
                 std::make_move_iterator(all.entries.end()));
  }
  return taken;
}

void release_last_datagram() {
  traffic_state& s = state();
  datagram_record last;  // both released after the lock
  pending_senders pending;
  {
    std::lock_guard guard(s.lock);
    std::swap(last, s.last);
    std::swap(pending.entries, s.pending.entries);
    std::swap(pending.sequence_by_address, s.pending.sequence_by_address);
    s.pending.front_sequence += pending.entries.size();
  }
}

}  // namespace kestrova
