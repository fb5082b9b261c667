// The anti-chattering threshold from the command line.
#pragma once

#include <cstdint>
#include <type_traits>

struct ThresholdArg {
  std::int32_t value;
  bool valid;  // the whole argument was ASCII digits (or it was empty)
};

// Reads a run of ASCII digits as a decimal number. Works on 8-bit strings
// (Linux) and 16-bit strings (Windows). Numbers past 2147483647 wrap around
// in 32-bit two's complement; the sum is kept unsigned so the wrap is defined.
template <typename Char>
ThresholdArg parse_threshold(const Char* arg) {
  using Unit = std::make_unsigned_t<Char>;
  std::uint32_t value = 0;
  for (; *arg != Char{}; ++arg) {
    const auto code = static_cast<Unit>(*arg);
    if (code < 0x30 || code > 0x39) return {static_cast<std::int32_t>(value), false};
    value = value * 10u + static_cast<std::uint32_t>(code - 0x30);
  }
  return {static_cast<std::int32_t>(value), true};
}

// Settles the threshold from the argument count and, with one argument, its
// parse, and says which value is used. Three or more arguments: 0, silently.
std::int32_t settle_anti_chatter(int argc, ThresholdArg arg);
