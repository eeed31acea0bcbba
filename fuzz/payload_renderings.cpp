// The two text forms of a payload (hex dump and decimal list) for any bytes,
// and the number texts they are built from.
#include "codecs/renderings.h"

#include <cstring>

#include "codecs/parsing.h"
#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

void check_hex_dump(const byte_sequence& bytes, const std::string& hex) {
  static constexpr char digits[] = "0123456789ABCDEF";
  KESTROVA_REQUIRE(hex.size() == 2 * bytes.size());
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    KESTROVA_REQUIRE(hex[2 * k] == digits[bytes[k] >> 4]);
    KESTROVA_REQUIRE(hex[2 * k + 1] == digits[bytes[k] & 15]);
  }
}

void check_decimal_list(const byte_sequence& bytes, const std::string& list) {
  std::string expected = "{";
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    if (k > 0) expected += ',';
    expected += std::to_string(bytes[k]);
  }
  expected += '}';
  KESTROVA_REQUIRE(list == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  byte_sequence bytes = bytes_from_buffer(data, size);
  KESTROVA_REQUIRE(bytes.size() == size && (size == 0 || std::memcmp(bytes.data(), data, size) == 0));

  std::string hex = byte_tools{}.bytes_to_hex(bytes);
  check_hex_dump(bytes, hex);
  KESTROVA_REQUIRE(hex_text_to_bytes(hex) == bytes);

  std::string list = bytes_to_decimal_list(bytes);
  check_decimal_list(bytes, list);
  KESTROVA_REQUIRE(decimal_list_to_bytes(list) == bytes);

  if (size >= 4) {
    std::int32_t n;
    std::memcpy(&n, data, sizeof n);
    KESTROVA_REQUIRE(number_to_text(n) == std::to_string(n));
  }
  if (size >= 1) KESTROVA_REQUIRE(number_to_text(data[0]) == std::to_string(data[0]));
  return 0;
}
