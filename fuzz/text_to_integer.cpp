// Integers read from port boxes and payload elements.
#include "codecs/parsing.h"

#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// The conversion by its rule on folded text: white space, one sign, digits in
// arithmetic that wraps modulo 2^32, anything after them ignored.
std::int32_t expected_integer(std::string_view folded) {
  std::size_t i = 0;
  while (i < folded.size() && is_white_space(folded[i])) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';
  std::uint32_t v = 0;
  while (i < folded.size() && is_digit(folded[i])) v = 10 * v + static_cast<std::uint32_t>(folded[i++] - '0');
  if (negative) v = 0u - v;
  return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = as_text(data, size);
  std::int32_t value = text_to_integer(text);
  KESTROVA_REQUIRE(value == expected_integer(fold_full_width(text)));
  KESTROVA_REQUIRE(text_to_byte(text) == static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFF));

  // The decimal form of any 32-bit integer reads back to it, also with white
  // space and a sign in front, in full width, and with text after it that
  // does not go on with a digit.
  if (size < 4) return 0;
  std::int32_t number;
  std::memcpy(&number, data, sizeof number);
  std::string decimal = number_to_text(number);
  KESTROVA_REQUIRE(text_to_integer(decimal) == number);
  KESTROVA_REQUIRE(text_to_integer(" \t\r\n" + decimal) == number);
  KESTROVA_REQUIRE(text_to_integer(to_full_width(decimal)) == number);
  if (number >= 0) KESTROVA_REQUIRE(text_to_integer("+" + decimal) == number);
  std::string_view rest = text.substr(4);
  std::string folded_rest = fold_full_width(rest);
  if (folded_rest.empty() || !is_digit(folded_rest.front()))
    KESTROVA_REQUIRE(text_to_integer(decimal + std::string(rest)) == number);

  // Digits beyond 32 bits wrap: the value modulo 2^32.
  std::uint64_t wide = 0;
  std::memcpy(&wide, data, std::min<std::size_t>(size, sizeof wide));
  KESTROVA_REQUIRE(text_to_integer(std::to_string(wide)) ==
                   static_cast<std::int32_t>(static_cast<std::uint32_t>(wide)));
  return 0;
}
