// Controllers through evdev: the Linux side of joyGetNumDevs and joyGetPosEx.
// Only nodes that are controllers are ever opened; ids stay with their
// controllers across re-plugs.
#pragma once

#include <cstdint>

#include "device_watch.h"

struct libevdev;

namespace evdev_joystick {

// Starts a run on paths: forgets every controller, watches for nodes and
// opens the controllers present, in the order of their nodes. joyGetPosEx
// starts one on the system's paths by itself.
void open_controllers(const InputPaths& paths);

// Gives every controller's X axis its own filter back and closes them all.
void close_controllers();

// Gives every open controller's X axis its own filter back. Async-signal-safe.
void restore_fuzz_now();

// ABS_X from minimum..maximum onto 0..65535, rounded and clamped.
std::uint32_t scale_axis(int value, int minimum, int maximum);

// Bit i set while the i-th of codes is down.
std::uint32_t button_mask(const libevdev* dev, const std::uint16_t* codes, int count);

}  // namespace evdev_joystick
