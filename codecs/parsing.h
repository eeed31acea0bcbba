// Payload parsing and number conversion: the texts the operator types as
// payload bytes and numbers, and the system's splitting of a text.
//
// Texts are GBK byte strings; a byte of 0x80 or above opens a two-byte
// character. No operation rejects its input: malformed text converts by fixed
// rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/renderings.h"

namespace kestrova {

// Hex text, read two bytes at a time; blanks, tabs and line breaks separate
// pairs and are skipped. Calls process_pending_events after each pair.
byte_sequence hex_text_to_bytes(std::string_view text);

// The value of a pair of one or two bytes: a hex digit counts 0..15, any other
// byte -2 (so -34..255).
std::int64_t hex_pair_value(std::string_view pair);

// A decimal list such as "{1,2,3}": a leading "{" and a trailing "}" are
// dropped, the rest splits at ",", each element gives text_to_byte of it.
byte_sequence decimal_list_to_bytes(std::string_view text);

// The elements of text between occurrences of separator (non-empty); empty
// elements stay except a trailing one; two-byte characters are never cut.
std::vector<std::string> split_text(std::string_view text, std::string_view separator);

// Full-width ASCII forms, the ideographic space and a few symbols folded to
// ASCII; a cut-off two-byte character at the end is dropped.
std::string fold_full_width(std::string_view text);

// Leading decimal number (after white space, with sign, point and exponent
// e/E/d/D); 0 when there is none.
double text_to_number(std::string_view text);

// Leading decimal integer with optional sign, wrapping modulo 2^32; 0 when
// there are no digits.
std::int32_t text_to_integer(std::string_view text);

// The low eight bits of text_to_integer.
std::uint8_t text_to_byte(std::string_view text);

// 1-based byte position of the first occurrence of pattern in text, trying
// start positions that are not a two-byte character's second byte; -1 when
// there is none. An empty pattern gives 1 for a non-empty text, -1 otherwise.
int position_of(std::string_view text, std::string_view pattern);

}  // namespace kestrova
