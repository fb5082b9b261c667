// keybd_event through a uinput virtual keyboard that knows which keys it
// holds, so that a stop can let them go and a continue press them again.
#pragma once

#include <cstdint>

#include "../platform.h"

namespace uinput_keyboard {

struct KeyEvent {
  std::uint16_t type;
  std::uint16_t code;
  std::int32_t value;
};

// The events that keybd_event(vk, 0, flags, 0) writes to the virtual
// keyboard: the key and a SYN_REPORT, or nothing for a key it does not
// offer. Returns how many.
int events_for(BYTE vk, DWORD flags, KeyEvent out[2]);

// Creates the virtual keyboard. On failure, says on standard error what
// failed and how to fix it, and returns false.
bool open_keyboard(const char* uinput_path);

// Sends the key-up of every key held, each with its SYN_REPORT, and goes
// on past a failed write. The keys stay known as held. Async-signal-safe.
void release_held_now();

// Sends the key-down of every key held again. Async-signal-safe.
void press_held_now();

// Gives programs that read the keyboard's node time to take its last
// events, then destroys it: a node that goes away takes its unread events
// with it. The kernel releases any key still down. Async-signal-safe.
void close_keyboard_now();

// Destroys the virtual keyboard as close_keyboard_now does and frees what
// was allocated for it.
void close_keyboard();

}  // namespace uinput_keyboard
