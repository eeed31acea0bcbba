// What every fuzz target shares: a property check that stops the run with a
// readable message, and the text views of the fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/renderings.h"

namespace kestrova::fuzz {

// A failed property aborts, so libFuzzer keeps the input as a crash artifact.
[[noreturn]] inline void property_failed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
  std::abort();
}

#define KESTROVA_REQUIRE(condition) \
  ((condition) ? void(0) : ::kestrova::fuzz::property_failed(#condition, __FILE__, __LINE__))

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

inline byte_sequence as_bytes(std::string_view text) {
  return byte_sequence(text.begin(), text.end());
}

// White space as the number conversions skip it.
inline bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A byte of 0x80 or above opens a two-byte character.
inline bool opens_two_byte_character(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// The start positions (0-based) of the characters of text: a byte of 0x80 or
// above and the byte after it make one character.
inline std::vector<bool> character_starts(std::string_view text) {
  std::vector<bool> starts(text.size() + 1, false);
  std::size_t i = 0;
  while (i < text.size()) {
    starts[i] = true;
    i += opens_two_byte_character(text[i]) ? 2 : 1;
  }
  if (i == text.size()) starts[i] = true;
  return starts;
}

// The full-width form of each printable ASCII byte of text (0x21..0x7E), the
// ideographic space for a blank; other bytes are copied.
inline std::string to_full_width(std::string_view text) {
  std::string wide;
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x21 && b <= 0x7E) {
      wide += '\xA3';
      wide += static_cast<char>(b + 0x80);
    } else if (b == 0x20) {
      wide += "\xA1\xA1";
    } else {
      wide += c;
    }
  }
  return wide;
}

}  // namespace kestrova::fuzz
