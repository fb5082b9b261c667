#include "../src/app/threshold.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "expected_text.h"
#include "fake_platform.h"

namespace {

struct ParseCase {
  const char* arg;  // ASCII only, so it reads the same as 8-bit and 16-bit text
  bool valid;
  std::int32_t value;  // checked when valid
};

const ParseCase PARSE_CASES[] = {
    {"50", true, 50},
    {"007", true, 7},
    {"", true, 0},
    {"0", true, 0},
    {"2147483647", true, INT_MAX},
    {"2147483648", true, INT_MIN},
    {"4294967295", true, -1},
    {"4294967296", true, 0},
    {"4294967346", true, 50},
    {"12a", false, 0},
    {"+12", false, 0},
    {"-12", false, 0},
    {" 12", false, 0},
    {"12 ", false, 0},
    {"1 2", false, 0},
    {"/", false, 0},  // 0x2F, just below '0'
    {":", false, 0},  // 0x3A, just above '9'
};

std::u16string widen(const char* ascii) {
  std::u16string wide;
  for (; *ascii != '\0'; ++ascii) wide.push_back(static_cast<char16_t>(*ascii));
  return wide;
}

TEST(ThresholdParse, ReadsDigitsAndWrapsForBothCharacterTypes) {
  for (const ParseCase& c : PARSE_CASES) {
    SCOPED_TRACE(std::string("argument \"") + c.arg + "\"");
    const ThresholdArg narrow = parse_threshold(c.arg);
    const std::u16string wide_arg = widen(c.arg);
    const ThresholdArg wide = parse_threshold(wide_arg.c_str());
    EXPECT_EQ(narrow.valid, c.valid);
    EXPECT_EQ(wide.valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(narrow.value, c.value);
      EXPECT_EQ(wide.value, c.value);
    }
  }
}

TEST(ThresholdParse, FullWidthDigitsAreNotDigits) {
  // U+FF11 U+FF12 ("１２") as 16-bit text, and as the UTF-8 bytes Linux gets.
  EXPECT_FALSE(parse_threshold(u"\uFF11\uFF12").valid);
  EXPECT_FALSE(parse_threshold("\xEF\xBC\x91\xEF\xBC\x92").valid);
  // 16-bit units whose low byte is an ASCII digit are not digits either.
  EXPECT_FALSE(parse_threshold(u"\u0131").valid);
}

TEST(ThresholdParse, BytesAboveAsciiAreNotDigitsWhenCharIsSigned) {
  const char high[] = {static_cast<char>(0xB1), '\0'};
  EXPECT_FALSE(parse_threshold(high).valid);
}

struct SettleCase {
  int argc;
  ThresholdArg arg;
  std::int32_t expected;
  std::string message;
};

TEST(SettleAntiChatter, ChoosesValueAndMessageByArgumentCount) {
  const SettleCase cases[] = {
      {1, {0, false}, 32, expected::NO_ARGUMENT},
      {2, {50, true}, 50, expected::argument_set(50)},
      {2, {0, true}, 0, expected::argument_set(0)},
      {2, {INT_MIN, true}, INT_MIN, expected::argument_set(INT_MIN)},
      {2, {12, false}, 32, expected::INVALID_ARGUMENT},
      {3, {0, false}, 0, ""},
      {7, {0, false}, 0, ""},
  };
  for (const SettleCase& c : cases) {
    SCOPED_TRACE("argc " + std::to_string(c.argc) + ", value " + std::to_string(c.arg.value));
    fake_start({});
    EXPECT_EQ(settle_anti_chatter(c.argc, c.arg), c.expected);
    EXPECT_EQ(fake_output(), c.message);
  }
}

}  // namespace
