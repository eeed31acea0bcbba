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

// Hex text as payload bytes. Blanks, tabs, carriage returns and line feeds
// are skipped; the remaining bytes are read two at a time from the first, and
// each pair gives the low eight bits of hex_pair_value (an odd last byte
// stands alone). So 'FE 01 00 48' gives FE 01 00 48, 'F E' gives FE and
// 'F\tE\r\n0' gives FE 00; one byte a pair, the number of non-spacing bytes
// halved and rounded up. Any other byte takes part as hex_pair_value says
// ('0G' gives FE, 'GG' DE). Calls process_pending_events after each pair; text
// must stay valid while the events it dispatches run.
byte_sequence hex_text_to_bytes(std::string_view text);

// The value of a pair of one or two bytes, v = 16 v + digit for each byte: a
// hex digit counts 0..15, any other byte -2 (so -34..255). Lower-case a to f
// count as digits, except directly after a byte of 0x80 or above (the second
// byte of a two-byte character), where a letter keeps its case and so a to f
// count -2 while A to F count as digits.
std::int64_t hex_pair_value(std::string_view pair);

// A decimal list such as "{1,2,3}": a leading "{" and a trailing "}" are
// dropped when present, the rest splits at "," (split_text), and each element
// gives text_to_byte of it (an empty element 0). '{}' gives no bytes,
// '1,2,3' and '{1,2,}' give 01 02 03 and 01 02, '{300,-1, 7}' 2C FF 07.
byte_sequence decimal_list_to_bytes(std::string_view text);

// The elements of text between occurrences of separator: empty elements at
// the start and in the middle stay, a trailing empty one does not (',' gives
// one empty element, '1,2,' gives '1', '2'). The separator is never matched at
// the second byte of a two-byte character; a byte of 0x80 or above at the end
// of the text belongs to the last element. An empty separator gives the whole
// text as one element (none for the empty text).
std::vector<std::string> split_text(std::string_view text, std::string_view separator);

// A copy with full-width forms folded to ASCII: 0xA3 followed by 0xA1..0xFE
// becomes the second byte minus 0x80 (digits, letters, signs, point), 0xA1
// 0xA1 (ideographic space) a blank, 0xA1 0xAB "~", 0xA1 0xEE and 0xA1 0xEF
// "*". Other characters are copied; a two-byte character cut off at the end
// is dropped.
std::string fold_full_width(std::string_view text);

// Leading decimal number after fold_full_width and white space: optional
// sign, digits with an optional point (a digit on at least one side), an
// optional exponent e/E/d/D with optional sign and at least one digit. 0 when
// there is none; beyond a double's range an infinity of the same sign. Hex
// notation and words such as "inf" read as 0.
double text_to_number(std::string_view text);

// Leading decimal integer after fold_full_width and white space, with an
// optional sign, wrapping modulo 2^32 ('2147483648' gives -2147483648); 0 when
// there are no digits.
std::int32_t text_to_integer(std::string_view text);

// The low eight bits of text_to_integer.
std::uint8_t text_to_byte(std::string_view text);

// 1-based byte position of the first occurrence of pattern in text, trying
// start positions that are not a two-byte character's second byte; -1 when
// there is none. An empty pattern gives 1 for a non-empty text, -1 otherwise.
int position_of(std::string_view text, std::string_view pattern);

}  // namespace kestrova
