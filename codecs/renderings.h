// Payload renderings: bytes and numbers as the texts the window shows.
//
// Texts are GBK byte strings (std::string); every operation returns a new
// value and never fails. Nothing here keeps state between calls, so the
// renderings may run on several threads at once and nested inside the event
// pump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrova {

using byte_sequence = std::vector<std::uint8_t>;

// The byte utility object. It carries no data; the program holds one.
class byte_tools {
 public:
  // Two upper-case hex digits a byte, no separator; no bytes give "".
  std::string bytes_to_hex(const byte_sequence& bytes) const;
};

// "{" + the bytes' unsigned decimal values joined by "," + "}"; no bytes give
// "{}". Calls process_pending_events after each byte.
std::string bytes_to_decimal_list(const byte_sequence& bytes);

// Decimal text of a signed 32-bit integer ("-1", "0", "3000").
std::string number_to_text(std::int32_t value);
// Unsigned decimal text of a byte ("0" to "255").
std::string number_to_text(std::uint8_t value);

// A copy of length bytes at address (address may be null when length is 0).
byte_sequence bytes_from_buffer(const void* address, std::size_t length);

// The same two forms appended to out, for callers that build a longer text
// and want one allocation for all of it. append_decimal_list pumps as
// bytes_to_decimal_list does.
void append_hex(std::string& out, std::span<const std::uint8_t> bytes);
void append_decimal_list(std::string& out, std::span<const std::uint8_t> bytes);

// Dispatches the window events already queued for the calling thread and
// returns; never waits. Does nothing until a pump is installed, and on every
// thread other than the one that installed it. The events it dispatches may
// call the codecs again, nested.
void process_pending_events();

// Installs the pump that process_pending_events runs on the calling thread
// (the window thread); null removes it. Each thread has its own slot, so a
// worker thread never runs the window's pump.
using event_pump = void (*)();
void install_event_pump(event_pump pump);

}  // namespace kestrova
