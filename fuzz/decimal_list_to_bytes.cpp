// Decimal lists as the operator types them into the payload box.
#include "codecs/parsing.h"

#include <cstring>

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// The conversion by its rule: a leading "{" and a trailing "}" are dropped, the
// rest splits at ",", each element gives its leading integer's low eight bits.
byte_sequence expected_bytes(std::string_view text) {
  if (!text.empty() && text.front() == '{') text.remove_prefix(1);
  if (!text.empty() && text.back() == '}') text.remove_suffix(1);
  byte_sequence bytes;
  for (const std::string& element : split_text(text, ",")) bytes.push_back(text_to_byte(element));
  return bytes;
}

// The list written with a blank after every comma and around the braces, and
// its digits in full width, as operators also type it.
std::string loosened(const std::string& list) {
  std::string loose;
  for (char c : list) {
    if (is_digit(c)) {
      loose += to_full_width(std::string(1, c));
    } else {
      loose += c;
      if (c == ',' || c == '{') loose += ' ';
    }
  }
  loose.insert(loose.size() - 1, " ");
  return loose;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = as_text(data, size);
  KESTROVA_REQUIRE(decimal_list_to_bytes(text) == expected_bytes(text));

  // The fuzzer's bytes as a payload: its decimal list reads back to them.
  byte_sequence payload = as_bytes(text);
  std::string list = bytes_to_decimal_list(payload);
  KESTROVA_REQUIRE(decimal_list_to_bytes(list) == payload);
  // (An empty list loosened to "{ }" holds one blank element, so one byte.)
  if (!payload.empty()) KESTROVA_REQUIRE(decimal_list_to_bytes(loosened(list)) == payload);

  // Any 32-bit numbers in a list keep their low eight bits.
  std::string numbers = "{";
  byte_sequence low_bits;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    std::int32_t value;
    std::memcpy(&value, data + i, sizeof value);
    numbers += number_to_text(value) + ",";
    low_bits.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFF));
  }
  numbers += "}";
  KESTROVA_REQUIRE(decimal_list_to_bytes(numbers) == low_bits);
  return 0;
}
