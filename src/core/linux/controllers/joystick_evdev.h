// Reading controllers through evdev: the Linux side of joyGetNumDevs and
// joyGetPosEx, over the controller table (controller_table.h).
#pragma once

#include <cstdint>

struct libevdev;

enum class ReadOutcome {
  current,  // every pending event taken in: the device's state is current
  failed,   // a read failed; the device is still there
  gone,     // the device went away
};

struct Controller;

// Takes in the pending events of a controller, catching up where the kernel
// dropped some; a read that a signal interrupts is made again.
ReadOutcome take_events(Controller& controller);

// ABS_X from minimum..maximum onto 0..65535, rounded and clamped.
std::uint32_t scale_axis(int value, int minimum, int maximum);

// The controller's X as dwXpos reports it.
std::uint32_t x_position(const Controller& controller);

// Bit i set while the i-th of codes is down.
std::uint32_t button_mask(const libevdev* dev, const std::uint16_t* codes, int count);
