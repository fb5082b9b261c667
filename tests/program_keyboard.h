// The program's virtual keyboard read back, each key event with the
// kernel's timestamp on the monotonic clock.
#pragma once

#include <chrono>
#include <ostream>
#include <vector>

struct KeyEvent {
  unsigned int code;
  int value;
  double ms;  // the kernel's CLOCK_MONOTONIC timestamp, in ms
  bool operator==(const KeyEvent& other) const {
    return code == other.code && value == other.value;
  }
};

void PrintTo(const KeyEvent& event, std::ostream* out);
using KeyEvents = std::vector<KeyEvent>;
KeyEvents& operator+=(KeyEvents& events, const KeyEvents& more);

// The program's "keyconv virtual keyboard", read with monotonic timestamps.
struct ProgramKeyboard {
  int fd = -1;
  ProgramKeyboard() = default;
  ProgramKeyboard(const ProgramKeyboard&) = delete;
  ProgramKeyboard& operator=(const ProgramKeyboard&) = delete;
  ~ProgramKeyboard();
  bool open_when_there(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  // The next key event, each of which must be followed by SYN_REPORT; code
  // 0 after timeout or when the keyboard went away.
  KeyEvent next(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // Every key event until the keyboard goes away with its program.
  KeyEvents until_gone(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  // Every key event until none comes for quiet.
  KeyEvents until_quiet(std::chrono::milliseconds quiet);
  // Keys the kernel holds down on this keyboard now.
  std::vector<unsigned int> held() const;

 private:
  bool gone_ = false;
};

constexpr KeyEvent down(unsigned int code) { return {code, 1, 0}; }
constexpr KeyEvent up(unsigned int code) { return {code, 0, 0}; }

double monotonic_ms();
