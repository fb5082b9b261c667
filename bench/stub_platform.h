// A minimal platform for measurements: joysticks at a position the bench
// sets, key events counted and stamped, the keystroke after a set number of
// passes. Sleep and the timer calls come from the Linux backend itself.
#pragma once

#include <cstdint>

#include "../src/core/platform.h"
#include "../src/core/platform_hooks.h"

struct StubState {
  std::uint32_t x[2] = {0, 0};  // what joyGetPosEx reports for ids 0 and 1
  long kbhit_after = 0;         // _kbhit answers 1 after this many calls
  long kbhit_calls = 0;
  long key_events = 0;
  std::int64_t pass_ns[4096] = {};  // when each _kbhit call came (first 4096)
  std::int64_t key_ns[64] = {};     // when each key event came (first 64)
  // From pass move_at_pass on, id 0's X rises by move_by every move_every
  // passes (once only, with move_every 0).
  std::uint32_t move_at_pass = 0;
  std::uint32_t move_every = 0;
  std::uint32_t move_by = 0;
};

extern StubState stub;

std::int64_t now_ns();
