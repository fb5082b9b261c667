// keybd_event through a uinput virtual keyboard that knows which keys it
// holds, so that a signal that ends keyconv can let them go, and a stop
// let them go and a continue press them again (signals/abnormal_end.h).
#pragma once

#include "../platform.h"

namespace uinput_keyboard {

// Creates the virtual keyboard. On failure, says on standard error what
// failed and how to fix it, and returns false.
bool open_keyboard(const char* uinput_path);

// Destroys the virtual keyboard, once programs that read its node have had
// time to take its last events (a node that goes away takes its unread
// events with it), and frees what was allocated for it.
void close_keyboard();

}  // namespace uinput_keyboard
