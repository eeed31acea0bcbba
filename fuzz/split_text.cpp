// Splitting a text at a separator: the decimal list's elements and the
// device table's pieces, both from outside text.
#include "codecs/parsing.h"

#include <algorithm>

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

std::string joined(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) text += separator;
    text += pieces[i];
  }
  return text;
}

void check_split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces = split_text(text, separator);
  KESTROVA_REQUIRE(pieces.empty() == text.empty());

  // The pieces put together again give the text, less one trailing separator.
  std::string together = joined(pieces, separator);
  bool ends_with_separator = text.size() >= separator.size() &&
                             text.substr(text.size() - separator.size()) == separator;
  KESTROVA_REQUIRE(together == text ||
                   (ends_with_separator && together + std::string(separator) == text));

  // A separator of one ASCII byte keeps the text's characters whole, so it is
  // found wherever a character starts, and a trailing one goes exactly when
  // it is a character of its own.
  if (separator.size() == 1 && !opens_two_byte_character(separator[0]) && !text.empty()) {
    bool trailing_is_character = ends_with_separator && character_starts(text)[text.size() - 1];
    KESTROVA_REQUIRE((together + std::string(separator) == text) == trailing_is_character);
  }

  // The scan steps a character at a time from each piece's start, so at none
  // of the piece's character starts does the separator begin: there it would
  // have been split.
  std::size_t offset = 0;
  for (const std::string& piece : pieces) {
    std::vector<bool> starts = character_starts(piece);
    for (std::size_t k = 0; k < piece.size(); ++k)
      if (starts[k]) KESTROVA_REQUIRE(text.substr(offset + k, separator.size()) != separator);
    offset += piece.size() + separator.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = as_text(data, size);
  check_split(text, ",");
  // A separator of one to three bytes that certainly occurs: the text's start.
  if (!text.empty()) check_split(text, text.substr(0, std::min<std::size_t>(text.size(), 1 + size % 3)));
  return 0;
}
