// What the pause between passes hands to the next read of a controller.
// The pause takes a controller's events in to judge whether its player
// woke; the pass that follows then reads the very state the pause judged,
// and says "Error" for a read of the pause that failed.
#pragma once

#include <cstdint>

#include "joystick_evdev.h"

struct ReadHandoff {
  std::uint32_t last_x = 0;   // dwXpos of the last read
  bool last_read_ok = false;  // the last read succeeded
  bool failed_since = false;  // a read by the pause failed: the next read fails
  bool taken_in = false;      // the pause took the events in: the next read need not
};

// What the pause found when it took a controller's events in.
enum class Taken {
  unchanged,  // X is as the last read saw it
  moved,      // X changed since the last read
  failed,     // a read failed; the controller is still there
  gone,       // the controller went away
};

// The pause: takes in what the controller has now.
Taken take_in_now(Controller& controller);

// joyGetPosEx: the state the pause judged, or else the controller's events
// taken in now. A read succeeds with current, and its X is then noted for
// the pause.
ReadOutcome hand_to_read(Controller& controller);
