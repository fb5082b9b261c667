// Reading controllers through evdev: the Linux side of joyGetNumDevs and
// joyGetPosEx, over the controller table (controller_table.h).
#pragma once

#include <cstdint>

struct libevdev;

// ABS_X from minimum..maximum onto 0..65535, rounded and clamped.
std::uint32_t scale_axis(int value, int minimum, int maximum);

// Bit i set while the i-th of codes is down.
std::uint32_t button_mask(const libevdev* dev, const std::uint16_t* codes, int count);
