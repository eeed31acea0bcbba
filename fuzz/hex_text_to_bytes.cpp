// Hex text as the operator types it into the payload box.
#include "codecs/parsing.h"

#include <algorithm>

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// Blanks, tabs and line breaks separate pairs and take no part in them.
bool is_pair_separator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The digit value of c when it is a hex digit of either case, -1 otherwise.
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A pair's value by the rule: a digit counts its value, any other byte -2; the
// second byte of a two-byte character is not upper-cased, so a to f there is
// not a digit.
std::int64_t expected_pair_value(std::string_view pair) {
  auto digit_or_minus_two = [](int d) { return d < 0 ? -2 : d; };
  std::int64_t first = digit_or_minus_two(hex_digit(pair[0]));
  if (pair.size() == 1) return first;
  int second = hex_digit(pair[1]);
  if (opens_two_byte_character(pair[0]) && pair[1] >= 'a' && pair[1] <= 'f') second = -1;
  return 16 * first + digit_or_minus_two(second);
}

void check_pair_values(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (std::size_t length = 1; length <= 2 && i + length <= text.size(); ++length) {
      std::int64_t v = hex_pair_value(text.substr(i, length));
      KESTROVA_REQUIRE(v >= -34 && v <= 255);
      KESTROVA_REQUIRE(v == expected_pair_value(text.substr(i, length)));
    }
  }
}

// The conversion by its rule: drop the separators, read the rest two bytes at
// a time (an odd last byte alone), keep the low eight bits of each value.
byte_sequence expected_bytes(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (!is_pair_separator(c)) digits += c;
  byte_sequence bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(
        static_cast<std::uint64_t>(expected_pair_value(std::string_view(digits).substr(i, 2))) & 0xFF));
  return bytes;
}

std::string lower_case(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The hex dump with a blank or a line break after every pair, as an operator
// pastes a dump copied from somewhere else.
std::string spread_out(const std::string& hex) {
  std::string spread;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    spread += hex.substr(i, 2);
    spread += (i / 2) % 3 == 2 ? "\r\n" : " ";
  }
  return spread;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = as_text(data, size);

  byte_sequence bytes = hex_text_to_bytes(text);
  std::size_t non_blank = 0;
  for (char c : text) non_blank += is_pair_separator(c) ? 0 : 1;
  KESTROVA_REQUIRE(bytes.size() == (non_blank + 1) / 2);
  KESTROVA_REQUIRE(bytes == expected_bytes(text));
  check_pair_values(text.substr(0, std::min<std::size_t>(text.size(), 64)));

  // The fuzzer's bytes as a payload: its dump reads back to the same bytes,
  // in upper or lower case, packed or spread out.
  byte_sequence payload = as_bytes(text);
  std::string hex = byte_tools{}.bytes_to_hex(payload);
  KESTROVA_REQUIRE(hex_text_to_bytes(hex) == payload);
  KESTROVA_REQUIRE(hex_text_to_bytes(lower_case(hex)) == payload);
  KESTROVA_REQUIRE(hex_text_to_bytes(spread_out(hex)) == payload);
  return 0;
}
