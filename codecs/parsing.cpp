#include "codecs/parsing.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace kestrova {

namespace {

constexpr bool opens_two_byte_character(unsigned char c) { return c >= 0x80; }

// Blank, tab, carriage return and line feed: what an operator puts between
// the pairs of a hex payload to make it readable.
constexpr bool is_hex_text_spacing(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The white space a number may be preceded by.
constexpr bool is_number_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value a byte of an upper-cased pair contributes: 0..15 for a digit of
// "0123456789ABCDEF", -2 for any other byte.
constexpr std::int64_t hex_digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -2;
}

// The length of the character starting at position i: 2 for a byte of 0x80
// or above that has a byte after it, else 1.
std::size_t character_length(std::string_view text, std::size_t i) {
  return opens_two_byte_character(text[i]) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::int64_t hex_pair_value(std::string_view pair) {
  std::int64_t value = 0;
  bool after_lead_byte = false;
  for (char c : pair) {
    // The second byte of a two-byte character keeps its case.
    if (!after_lead_byte && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    value = 16 * value + hex_digit_value(c);
    after_lead_byte = opens_two_byte_character(c);
  }
  return value;
}

byte_sequence hex_text_to_bytes(std::string_view text) {
  byte_sequence bytes;
  bytes.reserve(text.size() / 2 + 1);
  const std::size_t n = text.size();
  std::size_t i = 0;
  auto skip_spacing = [&] {
    while (i < n && is_hex_text_spacing(text[i])) ++i;
  };
  skip_spacing();
  while (i < n) {
    char pair[2] = {text[i++], 0};
    std::size_t pair_length = 1;
    skip_spacing();
    if (i < n) {
      pair[1] = text[i++];
      pair_length = 2;
      skip_spacing();
    }
    bytes.push_back(static_cast<std::uint8_t>(hex_pair_value({pair, pair_length}) & 0xFF));
    process_pending_events();
  }
  return bytes;
}

std::vector<std::string> split_text(std::string_view text, std::string_view separator) {
  std::vector<std::string> elements;
  if (separator.empty()) {
    if (!text.empty()) elements.emplace_back(text);
    return elements;
  }
  const std::size_t n = text.size();
  std::size_t element_start = 0;
  std::size_t i = 0;
  while (i < n) {
    if (text.substr(i, separator.size()) == separator) {
      elements.emplace_back(text.substr(element_start, i - element_start));
      i += separator.size();
      element_start = i;
    } else if (opens_two_byte_character(text[i])) {
      if (i + 1 == n) break;  // a cut-off character: no separator can follow
      i += 2;
    } else {
      ++i;
    }
  }
  // The last element runs to the end of the text, a cut-off character
  // included, so that no byte of the text is lost.
  if (element_start < n) elements.emplace_back(text.substr(element_start));
  return elements;
}

byte_sequence decimal_list_to_bytes(std::string_view text) {
  if (!text.empty() && text.front() == '{') text.remove_prefix(1);
  if (!text.empty() && text.back() == '}') text.remove_suffix(1);
  byte_sequence bytes;
  for (const std::string& element : split_text(text, ",")) {
    bytes.push_back(text_to_byte(element));
  }
  return bytes;
}

std::string fold_full_width(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (!opens_two_byte_character(lead)) {
      folded += text[i];
      continue;
    }
    if (i + 1 == n) break;  // a two-byte character cut short is dropped
    const auto trail = static_cast<unsigned char>(text[++i]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      folded += static_cast<char>(trail - 0x80);
    } else if (lead == 0xA1 && trail == 0xA1) {
      folded += ' ';
    } else if (lead == 0xA1 && trail == 0xAB) {
      folded += '~';
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      folded += '*';
    } else {
      folded += static_cast<char>(lead);
      folded += static_cast<char>(trail);
    }
  }
  return folded;
}

std::int32_t text_to_integer(std::string_view text) {
  const std::string folded = fold_full_width(text);
  std::size_t i = 0;
  while (i < folded.size() && is_number_space(folded[i])) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';
  std::uint32_t value = 0;  // unsigned, so that it wraps modulo 2^32
  for (; i < folded.size() && is_digit(folded[i]); ++i) {
    value = 10 * value + static_cast<std::uint32_t>(folded[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::uint8_t text_to_byte(std::string_view text) {
  return static_cast<std::uint8_t>(text_to_integer(text) & 0xFF);
}

double text_to_number(std::string_view text) {
  const std::string folded = fold_full_width(text);
  const std::size_t n = folded.size();
  std::size_t i = 0;
  while (i < n && is_number_space(folded[i])) ++i;
  bool negative = false;
  if (i < n && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';

  // The number is read by hand so that only this notation counts (no hex, no
  // words for infinity or not-a-number), then converted from a normalised
  // copy: digits, ".", digits, "e", exponent. from_chars is locale-free.
  std::string normalised;
  std::size_t integer_digits = 0;  // after leading zeros
  std::size_t fraction_leading_zeros = 0;
  bool nonzero_seen = false;
  std::size_t digit_count = 0;
  for (; i < n && is_digit(folded[i]); ++i, ++digit_count) {
    normalised += folded[i];
    if (folded[i] != '0') nonzero_seen = true;
    if (nonzero_seen) ++integer_digits;
  }
  if (digit_count == 0) normalised += '0';  // ".5" reads as "0.5"
  if (i < n && folded[i] == '.') {
    normalised += '.';
    for (++i; i < n && is_digit(folded[i]); ++i, ++digit_count) {
      normalised += folded[i];
      if (folded[i] != '0') nonzero_seen = true;
      if (!nonzero_seen) ++fraction_leading_zeros;
    }
  }
  if (digit_count == 0) return 0.0;
  if (normalised.back() == '.') normalised.pop_back();  // "5." reads as "5"

  std::int64_t exponent = 0;
  if (i < n && (folded[i] == 'e' || folded[i] == 'E' || folded[i] == 'd' || folded[i] == 'D')) {
    std::size_t j = i + 1;
    bool exponent_negative = false;
    if (j < n && (folded[j] == '+' || folded[j] == '-')) exponent_negative = folded[j++] == '-';
    if (j < n && is_digit(folded[j])) {
      // Saturates far beyond any double's range, so that a long run of
      // exponent digits cannot overflow.
      constexpr std::int64_t EXPONENT_CAP = 1'000'000'000;
      for (; j < n && is_digit(folded[j]); ++j) {
        if (exponent < EXPONENT_CAP) exponent = 10 * exponent + (folded[j] - '0');
      }
      if (exponent_negative) exponent = -exponent;
      normalised += 'e';
      normalised += std::to_string(exponent);
    }
  }

  double value = 0.0;
  const auto result =
      std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: the decimal order of magnitude
    // tells which.
    const std::int64_t magnitude =
        integer_digits > 0 ? exponent + static_cast<std::int64_t>(integer_digits)
                           : exponent - static_cast<std::int64_t>(fraction_leading_zeros);
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

int position_of(std::string_view text, std::string_view pattern) {
  if (text.empty()) return -1;
  if (pattern.empty()) return 1;
  for (std::size_t i = 0; i + pattern.size() <= text.size(); i += character_length(text, i)) {
    if (text.compare(i, pattern.size(), pattern) == 0) return static_cast<int>(i + 1);
  }
  return -1;
}

}  // namespace kestrova
