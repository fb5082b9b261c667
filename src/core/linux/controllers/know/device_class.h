// What kind of input device a set of capabilities describes, by the rules
// udev's input_id builtin applies, and which buttons make it a controller.
// Pure functions: they see only the capability bits.
#pragma once

#include <linux/input-event-codes.h>

#include <cstddef>
#include <cstdint>

// The capability bitmaps of an event device, bit n of word n / 64 for code n,
// as the kernel reports them in sysfs and through EVIOCGBIT.
struct DeviceCaps {
  std::uint64_t ev[EV_MAX / 64 + 1];
  std::uint64_t key[KEY_MAX / 64 + 1];
  std::uint64_t abs[ABS_MAX / 64 + 1];
  std::uint64_t rel[REL_MAX / 64 + 1];
  std::uint64_t prop[INPUT_PROP_MAX / 64 + 1];
};

template <std::size_t N>
bool has_code(const std::uint64_t (&words)[N], unsigned int code) {
  return code / 64 < N && ((words[code / 64] >> (code % 64)) & 1u) != 0;
}

template <std::size_t N>
void set_code(std::uint64_t (&words)[N], unsigned int code) {
  if (code / 64 < N) words[code / 64] |= std::uint64_t{1} << (code % 64);
}

enum class DeviceClass { other, accelerometer, tablet, touchpad, mouse, touchscreen, joystick };

DeviceClass classify_device(const DeviceCaps& caps);

// A joystick with an X axis: a device keyconv reads as a controller.
bool is_controller(const DeviceCaps& caps);

constexpr int MAX_BUTTONS = 32;  // one bit each in dwButtons

// The buttons that make a device a joystick, in ascending order of code, at
// most MAX_BUTTONS; returns how many.
int controller_buttons(const DeviceCaps& caps, std::uint16_t codes[MAX_BUTTONS]);
