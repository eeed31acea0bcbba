#include "codecs/renderings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <thread>

namespace kestrova {
namespace {

TEST(BytesToDecimalList, RendersBracedCommaSeparatedValues) {
  const struct {
    byte_sequence bytes;
    std::string expected;
  } cases[] = {
      {{}, "{}"},
      {{0x00}, "{0}"},
      {{0xFE, 0x01, 0x00, 0x48}, "{254,1,0,72}"},
      {{0xFF, 0x10}, "{255,16}"},
      {{0x09, 0x0A, 0x63, 0x64}, "{9,10,99,100}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_to_decimal_list(c.bytes), c.expected);
  }
}

TEST(BytesToHex, RendersTwoUpperCaseDigitsPerByte) {
  const byte_tools tools;
  EXPECT_EQ(tools.bytes_to_hex({}), "");
  EXPECT_EQ(tools.bytes_to_hex({0x00, 0x9F, 0xA0, 0xFF}), "009FA0FF");
  EXPECT_EQ(tools.bytes_to_hex({0x0A}), "0A");
  for (int b = 0; b < 256; ++b) {
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", b);
    EXPECT_EQ(tools.bytes_to_hex({static_cast<std::uint8_t>(b)}), expected) << "byte " << b;
  }
}

TEST(NumberToText, RendersDecimalWithoutPaddingOrGrouping) {
  EXPECT_EQ(number_to_text(std::int32_t{3000}), "3000");
  EXPECT_EQ(number_to_text(std::int32_t{-1}), "-1");
  EXPECT_EQ(number_to_text(std::int32_t{0}), "0");
  EXPECT_EQ(number_to_text(std::int32_t{INT_MAX}), "2147483647");
  EXPECT_EQ(number_to_text(std::int32_t{INT_MIN}), "-2147483648");
  EXPECT_EQ(number_to_text(std::uint8_t{0}), "0");
  EXPECT_EQ(number_to_text(std::uint8_t{255}), "255");
}

TEST(BytesFromBuffer, CopiesTheBytesAtTheAddress) {
  std::uint8_t buffer[] = {0xFE, 0x01, 0x00, 0x48};
  const byte_sequence copy = bytes_from_buffer(buffer, sizeof buffer);
  buffer[0] = 0;  // the copy is the caller's own
  EXPECT_EQ(copy, (byte_sequence{0xFE, 0x01, 0x00, 0x48}));
  EXPECT_TRUE(bytes_from_buffer(buffer, 0).empty());
  EXPECT_TRUE(bytes_from_buffer(nullptr, 0).empty());
}

TEST(AppendRenderings, AppendAfterWhatIsThere) {
  std::string text = "x";
  append_hex(text, byte_sequence{0xAB, 0x01});
  append_decimal_list(text, byte_sequence{});
  append_decimal_list(text, byte_sequence{7, 200});
  EXPECT_EQ(text, "xAB01{}{7,200}");
}

// The pump installed by each test runs on the test's thread only.
class EventPump : public ::testing::Test {
 protected:
  static inline int pumped = 0;
  void SetUp() override { pumped = 0; }
  void TearDown() override { install_event_pump(nullptr); }
};

TEST_F(EventPump, RunsOnceAfterEachByteOfADecimalList) {
  install_event_pump([] { ++pumped; });
  EXPECT_EQ(bytes_to_decimal_list({1, 2, 3}), "{1,2,3}");
  EXPECT_EQ(pumped, 3);
  byte_tools().bytes_to_hex({1, 2, 3});
  EXPECT_EQ(pumped, 3);  // the hex dump does not pump
}

TEST_F(EventPump, DoesNothingWhenRemovedOrOnAnotherThread) {
  install_event_pump([] { ++pumped; });
  std::thread other([] {
    process_pending_events();
    bytes_to_decimal_list({1, 2, 3});
  });
  other.join();
  EXPECT_EQ(pumped, 0);
  install_event_pump(nullptr);
  process_pending_events();
  EXPECT_EQ(pumped, 0);
}

TEST_F(EventPump, NestedConversionLeavesTheOuterOneIntact) {
  static std::string nested;
  nested.clear();
  install_event_pump([] {
    ++pumped;
    if (pumped == 2) nested = bytes_to_decimal_list({9, 9});  // pumps twice more
  });
  EXPECT_EQ(bytes_to_decimal_list({1, 2, 3}), "{1,2,3}");
  EXPECT_EQ(nested, "{9,9}");
  EXPECT_EQ(pumped, 5);
}

}  // namespace
}  // namespace kestrova
