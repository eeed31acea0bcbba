// The substring search behind the device-table query, with the operator's
// query text as the pattern.
#include "codecs/parsing.h"

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// The first character start (1-based) at which pattern occurs; -1 for none.
int expected_position(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return text.empty() ? -1 : 1;
  std::vector<bool> starts = character_starts(text);
  for (std::size_t k = 0; k + pattern.size() <= text.size(); ++k)
    if (starts[k] && text.substr(k, pattern.size()) == pattern) return static_cast<int>(k) + 1;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::string pattern = input.ConsumeRandomLengthString(16);
  std::string text = input.ConsumeRemainingBytesAsString();
  KESTROVA_REQUIRE(position_of(text, pattern) == expected_position(text, pattern));
  // A piece of the text itself is always found, at its place or before.
  if (!text.empty()) {
    std::size_t from = size % text.size();
    std::vector<bool> starts = character_starts(text);
    if (starts[from]) {
      std::string piece = text.substr(from, 1 + size % 5);
      int found = position_of(text, piece);
      KESTROVA_REQUIRE(found >= 1 && static_cast<std::size_t>(found) <= from + 1);
    }
  }
  return 0;
}
