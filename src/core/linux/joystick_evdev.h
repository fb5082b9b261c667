// Joysticks through evdev: the Linux side of joyGetNumDevs and joyGetPosEx.
#pragma once

#include <cstdint>

struct libevdev;

namespace evdev_joystick {

constexpr int JOYSTICK_IDS = 16;  // as many ids as Windows offers
constexpr int MAX_BUTTONS = 32;   // one bit each in dwButtons

// ABS_X from minimum..maximum onto 0..65535, rounded and clamped.
std::uint32_t scale_axis(int value, int minimum, int maximum);

// N for a device node named "eventN", otherwise -1.
int event_node_number(const char* name);

// A joystick has an X axis and at least one button at or above BTN_MISC.
// No Y axis is required: a rotary controller may have none.
bool is_joystick(const libevdev* dev);

// The device's button codes at or above BTN_MISC in ascending order, at
// most MAX_BUTTONS; returns how many.
int button_codes(const libevdev* dev, std::uint16_t codes[MAX_BUTTONS]);

// Bit i set while the i-th of codes is down.
std::uint32_t button_mask(const libevdev* dev, const std::uint16_t* codes, int count);

// Where device nodes are looked for; /dev/input unless a test says otherwise.
void set_input_dir(const char* dir);

// Closes every open joystick.
void close_all();

}  // namespace evdev_joystick
