// Capability sets of real input devices, as their kernel drivers report
// them: the table the classification is tested on, and the shapes of the
// virtual devices the VM tests make.
#pragma once

#include <initializer_list>
#include <vector>

#include "../src/core/linux/controllers/know/device_class.h"

struct DeviceShape {
  const char* name;
  std::vector<unsigned int> keys;
  std::vector<unsigned int> axes;
  std::vector<unsigned int> rel;
  std::vector<unsigned int> props;
};

// The codes from first to last, and then more.
inline std::vector<unsigned int> code_range(unsigned int first, unsigned int last,
                                            std::initializer_list<unsigned int> more = {}) {
  std::vector<unsigned int> codes;
  for (unsigned int code = first; code <= last; ++code) codes.push_back(code);
  codes.insert(codes.end(), more);
  return codes;
}

namespace real_devices {

inline const DeviceShape LAPTOP_TOUCHPAD = {
    "SYNA3602:00 0911:5288 Touchpad",
    {BTN_LEFT, BTN_TOOL_FINGER, BTN_TOOL_QUINTTAP, BTN_TOUCH, BTN_TOOL_DOUBLETAP,
     BTN_TOOL_TRIPLETAP, BTN_TOOL_QUADTAP},
    {ABS_X, ABS_Y, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y, ABS_MT_TOOL_TYPE,
     ABS_MT_TRACKING_ID},
    {},
    {INPUT_PROP_POINTER, INPUT_PROP_BUTTONPAD}};

inline const DeviceShape TOUCHSCREEN = {
    "ELAN Touchscreen",
    {BTN_TOUCH},
    {ABS_X, ABS_Y, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y, ABS_MT_TRACKING_ID},
    {},
    {INPUT_PROP_DIRECT}};

inline const DeviceShape GRAPHICS_TABLET = {
    "Wacom Intuos S Pen",
    {BTN_TOOL_PEN, BTN_TOOL_RUBBER, BTN_TOUCH, BTN_STYLUS, BTN_STYLUS2},
    {ABS_X, ABS_Y, ABS_PRESSURE, ABS_DISTANCE, ABS_TILT_X, ABS_TILT_Y, ABS_MISC},
    {},
    {INPUT_PROP_POINTER}};

// QEMU's USB tablet.
inline const DeviceShape VM_ABSOLUTE_MOUSE = {
    "QEMU QEMU USB Tablet", {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}, {ABS_X, ABS_Y}, {REL_WHEEL}, {}};

inline const DeviceShape GAMEPAD_MOTION_SENSOR = {
    "Sony Interactive Entertainment Wireless Controller Motion Sensors",
    {},
    {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ},
    {},
    {INPUT_PROP_ACCELEROMETER}};

inline const DeviceShape GAMEPAD_TOUCHPAD = {
    "Sony Interactive Entertainment Wireless Controller Touchpad",
    {BTN_LEFT, BTN_TOOL_FINGER, BTN_TOUCH, BTN_TOOL_DOUBLETAP},
    {ABS_X, ABS_Y, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y, ABS_MT_TRACKING_ID},
    {},
    {INPUT_PROP_POINTER, INPUT_PROP_BUTTONPAD}};

inline const DeviceShape GAMEPAD = {
    "Microsoft X-Box 360 pad",
    {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_SELECT, BTN_START, BTN_MODE,
     BTN_THUMBL, BTN_THUMBR},
    {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_HAT0X, ABS_HAT0Y},
    {},
    {}};

// A rotary controller: ABS_X only.
inline const DeviceShape TURNTABLE = {"Konami Amusement beatmania IIDX controller",
                                      code_range(BTN_TRIGGER, BTN_BASE5),
                                      {ABS_X},
                                      {},
                                      {}};

inline const DeviceShape KEYBOARD_WITH_EXTRA_BUTTONS = {
    "Gaming Keyboard",
    code_range(KEY_ESC, KEY_KPDOT,
               {KEY_INSERT, KEY_MUTE, KEY_CALC, KEY_MAIL, KEY_PLAYPAUSE, BTN_TRIGGER, BTN_THUMB}),
    {ABS_X, ABS_VOLUME},
    {},
    {}};

// The program's own virtual keyboard.
inline const DeviceShape KEYCONV_KEYBOARD = {
    "keyconv virtual keyboard",
    {KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_RIGHTCTRL},
    {},
    {},
    {}};

// Buttons that run into BTN_JOYSTICK.
inline const DeviceShape MANY_BUTTON_MOUSE = {
    "Mad Catz M.M.O.TE", code_range(BTN_LEFT, BTN_JOYSTICK + 4), {}, {REL_X, REL_Y, REL_WHEEL}, {}};

}  // namespace real_devices

DeviceCaps caps_of(const DeviceShape& shape);
