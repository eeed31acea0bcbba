#include "codecs/renderings.h"

#include <array>
#include <charconv>
#include <cstring>

namespace kestrova {

namespace {

// The pump belongs to the thread that installed it: a worker thread sees its
// own empty slot and never touches the window's event queue.
thread_local event_pump installed_pump = nullptr;

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// "255," is the longest rendering of one byte.
constexpr std::size_t MAX_DECIMAL_BYTE_CHARS = 4;

struct decimal_byte {
  char digits[3];
  std::uint8_t length;
};

// The unsigned decimal text of every byte value.
constexpr std::array<decimal_byte, 256> DECIMAL_BYTES = [] {
  std::array<decimal_byte, 256> table{};
  for (int b = 0; b < 256; ++b) {
    decimal_byte& text = table[b];
    if (b >= 100) text.digits[text.length++] = static_cast<char>('0' + b / 100);
    if (b >= 10) text.digits[text.length++] = static_cast<char>('0' + b / 10 % 10);
    text.digits[text.length++] = static_cast<char>('0' + b % 10);
  }
  return table;
}();

}  // namespace

void install_event_pump(event_pump pump) { installed_pump = pump; }

void process_pending_events() {
  if (event_pump pump = installed_pump) pump();
}

void append_hex(std::string& out, std::span<const std::uint8_t> bytes) {
  const std::size_t start = out.size();
  out.resize(start + 2 * bytes.size());
  char* digit = out.data() + start;
  for (std::uint8_t b : bytes) {
    *digit++ = HEX_DIGITS[b >> 4];
    *digit++ = HEX_DIGITS[b & 15];
  }
}

void append_decimal_list(std::string& out, std::span<const std::uint8_t> bytes) {
  // Written through a pointer into space sized for the longest rendering,
  // then cut to what was written: a log line renders thousands of bytes.
  const std::size_t start = out.size();
  out.resize(start + 2 + MAX_DECIMAL_BYTE_CHARS * bytes.size());
  char* next = out.data() + start;
  *next++ = '{';
  bool first = true;
  for (std::uint8_t b : bytes) {
    if (!first) *next++ = ',';
    first = false;
    const decimal_byte& text = DECIMAL_BYTES[b];
    std::memcpy(next, text.digits, sizeof text.digits);  // room for 3 is always there
    next += text.length;
    process_pending_events();
  }
  *next++ = '}';
  out.resize(static_cast<std::size_t>(next - out.data()));
}

std::string byte_tools::bytes_to_hex(const byte_sequence& bytes) const {
  std::string text;
  append_hex(text, bytes);
  return text;
}

std::string bytes_to_decimal_list(const byte_sequence& bytes) {
  std::string text;
  append_decimal_list(text, bytes);
  return text;
}

std::string number_to_text(std::int32_t value) {
  char digits[11];  // "-2147483648"
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(digits, end);
}

std::string number_to_text(std::uint8_t value) {
  char digits[3];
  const auto end = std::to_chars(digits, digits + sizeof digits, unsigned{value}).ptr;
  return std::string(digits, end);
}

byte_sequence bytes_from_buffer(const void* address, std::size_t length) {
  if (length == 0 || address == nullptr) return {};
  const auto* first = static_cast<const std::uint8_t*>(address);
  return byte_sequence(first, first + length);
}

}  // namespace kestrova
