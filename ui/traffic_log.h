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

// Installs the sink that on_datagram appends to (null: lines are dropped).
// A call that is running keeps the sink it took alive until it returns.
void set_log_sink(std::shared_ptr<log_sink> sink);

// The datagram_callback given to every endpoint: renders the log line and,
// for a received datagram, replaces the last-datagram record and notes the
// sender as pending for the next table update.
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
// limit stay pending for the next call.
std::vector<datagram_record> take_pending_senders(std::size_t limit);

// Empties the record and the pending senders (the exit routine). Safe while
// workers still deliver datagrams.
void release_last_datagram();

}  // namespace kestrova
