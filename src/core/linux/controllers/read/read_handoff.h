// What the pause between passes sees of the controllers, by joystick id,
// and hands on to the next read. The pause takes a controller's events in
// to judge whether its player woke; the pass that follows then reads the
// very state the pause judged, and says "Error" for a read of the pause
// that failed. The pause calls into the read step, never the other way.
#pragma once

#include "evdev_events.h"

// The node the pause waits on for id; -1 while no controller holds id.
int controller_wait_fd(int id);

// id's controller is there and its last read succeeded.
bool controller_reads_well(int id);

// What the pause found when it took a controller's events in.
enum class Taken {
  unchanged,  // X is as the last read saw it
  moved,      // X changed since the last read
  failed,     // a read failed; the controller is still there
  gone,       // the controller went away, or none holds id
};

// The pause: takes in what id's controller has now.
Taken take_in_now(int id);

// joyGetPosEx: the state the pause judged, or else the controller's events
// taken in now. A read succeeds with current, and its X is then noted for
// the pause.
ReadOutcome hand_to_read(Controller& controller);
