// keybd_event through a uinput virtual keyboard.
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

// Sends the key-up of every key the keyboard offers. Keys that are up stay
// up: the kernel drops events that change nothing. Async-signal-safe.
void release_all_now();

// Destroys the virtual keyboard; the kernel then releases any key it held.
// Async-signal-safe.
void close_keyboard_now();

// Destroys the virtual keyboard and frees what was allocated for it.
void close_keyboard();

}  // namespace uinput_keyboard
