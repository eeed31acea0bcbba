// Folding full-width characters, the first step of reading a number from
// a port box, a payload element or a typed port.
#include "codecs/parsing.h"

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// The folded form of one two-byte character, or 0 when it stays as it is.
char folded(unsigned char lead, unsigned char trail) {
  if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) return static_cast<char>(trail - 0x80);
  if (lead == 0xA1 && trail == 0xA1) return ' ';
  if (lead == 0xA1 && trail == 0xAB) return '~';
  if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) return '*';
  return 0;
}

std::string expected_fold(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (!opens_two_byte_character(text[i])) {
      out += text[i++];
    } else if (i + 1 == text.size()) {
      break;  // a two-byte character cut short
    } else {
      char ascii = folded(static_cast<unsigned char>(text[i]), static_cast<unsigned char>(text[i + 1]));
      if (ascii != 0)
        out += ascii;
      else
        out += text.substr(i, 2);
      i += 2;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = as_text(data, size);
  std::string folded_text = fold_full_width(text);
  KESTROVA_REQUIRE(folded_text == expected_fold(text));
  KESTROVA_REQUIRE(folded_text.size() <= text.size());
  KESTROVA_REQUIRE(fold_full_width(folded_text) == folded_text);

  // Plain ASCII stays as it is, and its full-width form folds back to it.
  std::string ascii(text);
  for (char& c : ascii) c = static_cast<char>(c & 0x7F);
  KESTROVA_REQUIRE(fold_full_width(ascii) == ascii);
  KESTROVA_REQUIRE(fold_full_width(to_full_width(ascii)) == ascii);
  return 0;
}
