// keybd_event through a uinput virtual keyboard that knows which keys it
// holds, so that a stop can let them go and a continue press them again.
#pragma once

#include "../platform.h"

namespace uinput_keyboard {

// Creates the virtual keyboard. On failure, says on standard error what
// failed and how to fix it, and returns false.
bool open_keyboard(const char* uinput_path);

// A handler's first step. While keybd_event writes a key and notes it, a
// signal waits until it has, so that no handler sees a key half pressed:
// true when signal_number was kept for keybd_event to raise again when it
// is done. Async-signal-safe.
bool defer_while_typing(int signal_number);

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
