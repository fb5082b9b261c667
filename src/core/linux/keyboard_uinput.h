// keybd_event through a uinput virtual keyboard whose held keys are
// recorded for the signal handlers (signals/undo_list.h): a signal that
// ends keyconv lets them go, a stop lets them go and a continue presses
// them again.
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
