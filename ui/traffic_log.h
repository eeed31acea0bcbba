// The system's datagram callback and what it keeps up to date: the traffic
// log (one line per received datagram and per completed send, handed to a log
// sink) and the last-datagram record the device table reads on each tick.
//
// Qt-free: on_datagram runs on the engine's worker threads; the window
// implements log_sink and moves the lines to its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/renderings.h"

namespace kestrova {

// Where log lines go. append_line is called on worker threads, several at
// once; each line is GBK text ending in "\r\n".
class log_sink {
 public:
  virtual ~log_sink() = default;
  virtual void append_line(std::string line) = 0;
};

// Installs the sink that on_datagram appends to (null: no line is rendered).
// A call that is running keeps the sink it took alive until it returns, so
// the window may replace or remove its sink at any time.
void set_log_sink(std::shared_ptr<log_sink> sink);

// The datagram_callback given to every endpoint. Kind 1 (a completed send to
// peer) logs "发送:addr:port -> [HEX]\r\n"; any other kind (a datagram
// received from peer) logs "收到:addr:port -> [HEX] -> [{d,...}]\r\n", then
// replaces the last-datagram record and notes the sender as pending, both
// under one lock. The openings are GBK text. data and peer_address are copied
// before the call returns; user_value is ignored; the result is always 0.
int on_datagram(std::int32_t kind, const std::uint8_t* data, std::uint32_t length,
                const char* peer_address, std::int32_t peer_port, std::int32_t user_value);

// One datagram's sender, port text and payload.
struct datagram_record {
  std::string last_peer_address;
  std::string last_peer_port;
  byte_sequence last_payload;
};

// A copy of the last-datagram record, taken under its lock: always the three
// values of one datagram (all empty before the first).
datagram_record read_last_datagram();

// The senders heard since the previous call, at most limit of them, in order
// of first arrival, each with its latest port and payload. Senders beyond the
// limit stay pending, in their order, for the next call; none is dropped. A
// sender heard again after it was taken is pending again, at the end.
std::vector<datagram_record> take_pending_senders(std::size_t limit);

// Empties the record and the pending senders (the exit routine). Safe while
// workers still deliver datagrams: the state itself is never destroyed, so a
// late datagram at exit finds it intact.
void release_last_datagram();

}  // namespace kestrova
