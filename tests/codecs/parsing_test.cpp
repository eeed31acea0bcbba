#include "codecs/parsing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kestrova {
namespace {

// GBK texts used below, written as bytes:
//   "\xBA\xBA"  汉, a character whose bytes are both 0xA1 or above
//   "\xA3\xB3\xA3\xB0\xA3\xB0\xA3\xB0"  ３０００ (full-width digits)
//   "\xA3\xB1\xA3\xB2"  １２
//   "\xA3\xAC"  ， (full-width comma)
//   "\xA3\xAD"  － (full-width minus)

struct hex_case {
  std::string text;
  byte_sequence expected;
};

TEST(HexTextToBytes, ReadsPairsByTheDigitTable) {
  const hex_case cases[] = {
      {"", {}},
      {"FE01004800023B00", {0xFE, 0x01, 0x00, 0x48, 0x00, 0x02, 0x3B, 0x00}},
      {"fe0", {0xFE, 0x00}},
      {"ABC", {0xAB, 0x0C}},
      {"abc", {0xAB, 0x0C}},
      {"0G", {0xFE}},  // h x with h = 0
      {"1,", {0x0E}},  // h x: 16h - 2
      {"G0", {0xE0}},  // x l: 0xE0 + l
      {"G5", {0xE5}},
      {"GG", {0xDE}},  // x x
      {"G", {0xFE}},   // x alone
      {"7", {0x07}},   // h alone
      {"0x1F", {0xFE, 0x1F}},
      {"\xBA\xBA", {0xDE}},  // both bytes of one character
      {"\x81\x61", {0xDE}},  // a second byte keeps its lower case
      {"\x81\x44", {0xED}},  // an upper-case second byte counts as its digit
      {"a\xB0", {0x9E}},     // a letter before a lead byte is upper-cased
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex_text_to_bytes(c.text), c.expected) << "text '" << c.text << "'";
  }
}

// Spacing that the operator puts between pairs is no part of the payload.
TEST(HexTextToBytes, SkipsBlanksTabsAndLineBreaks) {
  const hex_case cases[] = {
      {"FE 01", {0xFE, 0x01}},
      {"FE 01 00 48", {0xFE, 0x01, 0x00, 0x48}},
      {"F E", {0xFE}},
      {"F\tE\r\n0", {0xFE, 0x00}},
      {"  FE\r\n01\n", {0xFE, 0x01}},
      {" \t\r\n", {}},
      {"0G 01", {0xFE, 0x01}},
      {"FE \xBA\xBA", {0xFE, 0xDE}},
      {"FE,01", {0xFE, 0xE0, 0x01}},  // any other separator still counts
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex_text_to_bytes(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TEST(HexTextToBytes, PumpsEventsAfterEachPair) {
  static int pumped = 0;
  pumped = 0;
  install_event_pump([] { ++pumped; });
  EXPECT_EQ(hex_text_to_bytes("FE 01 0"), (byte_sequence{0xFE, 0x01, 0x00}));
  install_event_pump(nullptr);
  EXPECT_EQ(pumped, 3);
}

TEST(HexPairValue, CountsDigitsAndMinusTwoForOtherBytes) {
  const struct {
    std::string pair;
    std::int64_t expected;
  } cases[] = {
      {"FF", 255}, {"ff", 255}, {"F", 15},         {"0", 0},          {"G", -2},      {"GG", -34},
      {"G5", -27}, {"1G", 14},  {"\x81\x61", -34}, {"\x81\x44", -19}, {"a\xB0", 158},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex_pair_value(c.pair), c.expected) << "pair '" << c.pair << "'";
  }
}

TEST(DecimalListToBytes, ReadsElementsBetweenTheBraces) {
  const struct {
    std::string text;
    byte_sequence expected;
  } cases[] = {
      {"{1,2,3}", {1, 2, 3}},
      {"{}", {}},
      {"{", {}},
      {"}", {}},
      {"", {}},
      {"1,2,3", {1, 2, 3}},
      {"{1,2,}", {1, 2}},
      {"{1,,3}", {1, 0, 3}},
      {"{1,2,3},", {1, 2, 3}},
      {"{300,-1, 7}", {0x2C, 0xFF, 0x07}},
      {"{ 12 }", {0x0C}},
      {"{,}", {0}},
      {"{1;2}", {1}},
      {"{254,1,0,72}", {0xFE, 0x01, 0x00, 0x48}},
      {"{\xA3\xB1\xA3\xB2}", {12}},
      {"{1\xA3\xAC\x32}", {1}},  // a full-width comma does not separate
      {"{{1,2}}", {0, 2}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decimal_list_to_bytes(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TEST(SplitText, KeepsEmptyElementsExceptATrailingOne) {
  using pieces = std::vector<std::string>;
  const struct {
    std::string text;
    std::string separator;
    pieces expected;
  } cases[] = {
      {"1,2,3", ",", {"1", "2", "3"}},
      {"1,,3", ",", {"1", "", "3"}},
      {",1", ",", {"", "1"}},
      {"1,2,", ",", {"1", "2"}},
      {",", ",", {""}},
      {",,", ",", {"", ""}},
      {"", ",", {}},
      {"{254,1,0,72}", ",", {"{254", "1", "0", "72}"}},
      {"a::b::", "::", {"a", "b"}},
      {"abc", "", {"abc"}},
      // Never matched at the second byte of a two-byte character.
      {"\x81,1,2", ",", {"\x81,1", "2"}},
      {"\xBA\xBA,1", ",", {"\xBA\xBA", "1"}},
      // A lead byte at the very end stays with the last element.
      {"1,2\x81", ",", {"1", "2\x81"}},
      {"1,\x81", ",", {"1", "\x81"}},
      {"\x81", ",", {"\x81"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(split_text(c.text, c.separator), c.expected)
        << "text '" << c.text << "' at '" << c.separator << "'";
  }
}

TEST(FoldFullWidth, FoldsFullWidthFormsToAscii) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"\xA3\xB3\xA3\xB0\xA3\xB0\xA3\xB0", "3000"},
      {"\xA3\xA1", "!"},
      {"\xA3\xFE", "~"},
      {"\xA3\xAD\xA3\xAB", "-+"},
      {"\xA1\xA1", " "},
      {"\xA1\xAB", "~"},
      {"\xA1\xEE\xA1\xEF", "**"},
      {"\xA3\xA0", "\xA3\xA0"},  // not a full-width ASCII form
      {"\xBA\xBA\x61\x62", "\xBA\xBA\x61\x62"},
      {"1\xA3", "1"},  // a character cut short is dropped
      {"\xA3", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fold_full_width(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TEST(TextToInteger, ReadsTheLeadingIntegerWrappingModulo2To32) {
  const struct {
    std::string text;
    std::int32_t expected;
  } cases[] = {
      {"3000", 3000},
      {" +3000x", 3000},
      {"3000.9", 3000},
      {"-1", -1},
      {"", 0},
      {"abc", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},
      {"4294967296", 0},
      {"4294967297", 1},
      {"-2147483648", INT_MIN},
      {"70000", 70000},
      {"\t\n\v\f\r 5", 5},
      {"+-5", 0},
      {"- 5", 0},
      {"\xA3\xB3\xA3\xB0\xA3\xB0\xA3\xB0", 3000},
      {"\xA3\xAD\xA3\xB1\xA3\xB2", -12},
      {"\xA1\xA1\x37", 7},  // an ideographic space is white space
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text_to_integer(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TEST(TextToByte, KeepsTheLowEightBits) {
  const struct {
    std::string text;
    std::uint8_t expected;
  } cases[] = {
      {"3}", 3},   {" 7", 7},  {"", 0},     {"300", 44}, {"256", 0},
      {"-1", 255}, {"1.9", 1}, {"0x10", 0}, {"-256", 0}, {"511", 255},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text_to_byte(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TEST(TextToNumber, ReadsTheLeadingDecimalNumber) {
  constexpr double INF = std::numeric_limits<double>::infinity();
  const struct {
    std::string text;
    double expected;
  } cases[] = {
      {"3000", 3000},
      {"   3000abc", 3000},
      {"", 0},
      {"   ", 0},
      {"-5", -5},
      {"+7", 7},
      {"-3000", -3000},
      {".5", 0.5},
      {"5.", 5},
      {".", 0},
      {"-.5e-1", -0.05},
      {"1e3", 1000},
      {"1E3", 1000},
      {"1d3", 1000},
      {"1D+3", 1000},
      {"1e", 1},
      {"1e+", 1},
      {"1.5e2x", 150},
      {"1e3.5", 1000},
      {"0x10", 0},
      {"inf", 0},
      {"nan", 0},
      {"-infinity", 0},
      {"\xA3\xB3\xA3\xB0\xA3\xB0\xA3\xB0", 3000},
      {"1e400", INF},
      {"-1e400", -INF},
      {"1e99999999999999999999", INF},
      {"1e-400", 0},
      {"0.0000001e-320", 0},
      {"0e99999", 0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text_to_number(c.text), c.expected) << "text '" << c.text << "'";
  }
}

// Long digit runs and exponents that cancel out must not be taken for an
// overflow or an underflow.
TEST(TextToNumber, WeighsLongDigitRunsAgainstTheExponent) {
  EXPECT_EQ(text_to_number("0." + std::string(399, '0') + "1e400"), 1);
  EXPECT_EQ(text_to_number("1" + std::string(400, '0') + "e-400"), 1);
  EXPECT_EQ(text_to_number(std::string(400, '9')), std::numeric_limits<double>::infinity());
  EXPECT_EQ(text_to_number("-0." + std::string(400, '0') + "1"), 0);
}

TEST(PositionOf, FindsTheFirstMatchAtACharacterStart) {
  const struct {
    std::string text;
    std::string pattern;
    int expected;
  } cases[] = {
      {"abc", "b", 2},
      {"abc", "abc", 1},
      {"abc", "", 1},
      {"", "", -1},
      {"", "a", -1},
      {"abc", "d", -1},
      {"abc", "abcd", -1},
      {"aBc", "b", -1},  // case counts
      {"10.1.1.2510.1.1.3", "10.1.1.3", 10},
      {"10.1.1.2510.1.1.3", "10.1.1.2", 1},
      {"10.1.1.2510.1.1.3", "2510", 8},  // across two entries
      {"a\xBA\xBA\x62", "b", 4},
      {"\xB0\xA1", "\xA1", -1},  // never at a second byte
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", -1},
      {"\xB0\xA1\xA1", "\xA1", 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(position_of(c.text, c.pattern), c.expected)
        << "'" << c.pattern << "' in '" << c.text << "'";
  }
}

}  // namespace
}  // namespace kestrova
