// Numbers read from port boxes for the port check.
#include "codecs/parsing.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// The longest prefix of folded text after white space that forms a number:
// sign, digits with an optional point (a digit on one side at least), an
// optional exponent (e, E, d or D, sign, at least one digit). The exponent
// letter is given as "e"; "" when there is no number.
std::string number_prefix(std::string_view folded) {
  std::size_t i = 0;
  while (i < folded.size() && is_white_space(folded[i])) ++i;
  std::string number;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) number += folded[i++];
  std::size_t digits = 0;
  while (i < folded.size() && is_digit(folded[i])) number += folded[i++], ++digits;
  if (i < folded.size() && folded[i] == '.') {
    number += folded[i++];
    while (i < folded.size() && is_digit(folded[i])) number += folded[i++], ++digits;
  }
  if (digits == 0) return "";
  if (i < folded.size() && std::strchr("eEdD", folded[i]) != nullptr && folded[i] != '\0') {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < folded.size() && (folded[j] == '+' || folded[j] == '-')) exponent += folded[j++];
    std::size_t exponent_digits = 0;
    while (j < folded.size() && is_digit(folded[j])) exponent += folded[j++], ++exponent_digits;
    if (exponent_digits > 0) number += exponent;
  }
  return number;
}

bool same_double(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || a == b; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = as_text(data, size);
  double value = text_to_number(text);
  KESTROVA_REQUIRE(!std::isnan(value));
  // Correctly rounded, as the C library reads the same prefix.
  std::string prefix = number_prefix(fold_full_width(text));
  double expected = prefix.empty() ? 0.0 : std::strtod(prefix.c_str(), nullptr);
  KESTROVA_REQUIRE(same_double(value, expected));

  // A minus sign in front of a text that starts with a digit or a point
  // negates it.
  if (!text.empty() && (is_digit(text.front()) || text.front() == '.'))
    KESTROVA_REQUIRE(text_to_number("-" + std::string(text)) == -value);

  // Every finite double written with 17 significant digits reads back to
  // itself, with "d" as the exponent letter too; every 32-bit integer's
  // decimal form, in full width too, to its value.
  if (size >= sizeof(double)) {
    double d;
    std::memcpy(&d, data, sizeof d);
    if (std::isfinite(d)) {
      char written[64];
      std::snprintf(written, sizeof written, "%.17g", d);
      KESTROVA_REQUIRE(same_double(text_to_number(written), d));
      for (char* c = written; *c != '\0'; ++c)
        if (*c == 'e') *c = 'D';
      KESTROVA_REQUIRE(same_double(text_to_number(written), d));
    }
    std::int32_t n;
    std::memcpy(&n, data, sizeof n);
    KESTROVA_REQUIRE(text_to_number(number_to_text(n)) == n);
    KESTROVA_REQUIRE(text_to_number(to_full_width(number_to_text(n))) == n);
  }
  return 0;
}
