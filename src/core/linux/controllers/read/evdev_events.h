// A controller's events, taken in from its evdev node: X and the buttons
// are all that is kept of them.
#pragma once

#include <cstdint>

#include "controller.h"

enum class ReadOutcome {
  current,  // every pending event taken in: the device's state is current
  failed,   // a read failed; the device is still there
  gone,     // the device went away
};

// Takes in the pending events of a controller, catching up where the kernel
// dropped some; a read that a signal interrupts is made again.
ReadOutcome take_events(Controller& controller);

// The controller's state as its device has it now, read at its opening.
void take_initial_state(Controller& controller);

// ABS_X from minimum..maximum onto 0..65535, rounded and clamped.
std::uint32_t scale_axis(int value, int minimum, int maximum);

// The controller's X as dwXpos reports it.
std::uint32_t x_position(const Controller& controller);
