#include "real_devices.h"

namespace real_devices {

DeviceShape laptop_touchpad() {
  return {"SYNA3602:00 0911:5288 Touchpad",
          {BTN_LEFT, BTN_TOOL_FINGER, BTN_TOOL_QUINTTAP, BTN_TOUCH, BTN_TOOL_DOUBLETAP,
           BTN_TOOL_TRIPLETAP, BTN_TOOL_QUADTAP},
          {ABS_X, ABS_Y, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y, ABS_MT_TOOL_TYPE,
           ABS_MT_TRACKING_ID},
          {},
          {INPUT_PROP_POINTER, INPUT_PROP_BUTTONPAD}};
}

DeviceShape touchscreen() {
  return {"ELAN Touchscreen",
          {BTN_TOUCH},
          {ABS_X, ABS_Y, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y, ABS_MT_TRACKING_ID},
          {},
          {INPUT_PROP_DIRECT}};
}

DeviceShape graphics_tablet() {
  return {"Wacom Intuos S Pen",
          {BTN_TOOL_PEN, BTN_TOOL_RUBBER, BTN_TOUCH, BTN_STYLUS, BTN_STYLUS2},
          {ABS_X, ABS_Y, ABS_PRESSURE, ABS_DISTANCE, ABS_TILT_X, ABS_TILT_Y, ABS_MISC},
          {},
          {INPUT_PROP_POINTER}};
}

DeviceShape vm_absolute_mouse() {
  return {
      "QEMU QEMU USB Tablet", {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}, {ABS_X, ABS_Y}, {REL_WHEEL}, {}};
}

DeviceShape gamepad_motion_sensor() {
  return {"Sony Interactive Entertainment Wireless Controller Motion Sensors",
          {},
          {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ},
          {},
          {INPUT_PROP_ACCELEROMETER}};
}

DeviceShape gamepad_touchpad() {
  return {"Sony Interactive Entertainment Wireless Controller Touchpad",
          {BTN_LEFT, BTN_TOOL_FINGER, BTN_TOUCH, BTN_TOOL_DOUBLETAP},
          {ABS_X, ABS_Y, ABS_MT_SLOT, ABS_MT_POSITION_X, ABS_MT_POSITION_Y, ABS_MT_TRACKING_ID},
          {},
          {INPUT_PROP_POINTER, INPUT_PROP_BUTTONPAD}};
}

DeviceShape gamepad() {
  return {"Microsoft X-Box 360 pad",
          {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_SELECT, BTN_START,
           BTN_MODE, BTN_THUMBL, BTN_THUMBR},
          {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_HAT0X, ABS_HAT0Y},
          {},
          {}};
}

DeviceShape turntable() {
  return {"Konami Amusement beatmania IIDX controller",
          {BTN_TRIGGER, BTN_THUMB, BTN_THUMB2, BTN_TOP, BTN_TOP2, BTN_PINKIE, BTN_BASE, BTN_BASE2,
           BTN_BASE3, BTN_BASE4, BTN_BASE5},
          {ABS_X},
          {},
          {}};
}

DeviceShape keyboard_with_extra_buttons() {
  DeviceShape shape = {"Gaming Keyboard", {}, {ABS_X, ABS_VOLUME}, {}, {}};
  for (unsigned int key = KEY_ESC; key <= KEY_KPDOT; ++key) shape.keys.push_back(key);
  for (int key :
       {KEY_INSERT, KEY_MUTE, KEY_CALC, KEY_MAIL, KEY_PLAYPAUSE, BTN_TRIGGER, BTN_THUMB}) {
    shape.keys.push_back(static_cast<unsigned int>(key));
  }
  return shape;
}

DeviceShape keyconv_keyboard() {
  return {"keyconv virtual keyboard",
          {KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_RIGHTCTRL},
          {},
          {},
          {}};
}

DeviceShape many_button_mouse() {
  DeviceShape shape = {"Mad Catz M.M.O.TE", {}, {}, {REL_X, REL_Y, REL_WHEEL}, {}};
  for (unsigned int button = BTN_LEFT; button <= BTN_JOYSTICK + 4u; ++button) {
    shape.keys.push_back(button);
  }
  return shape;
}

}  // namespace real_devices

DeviceCaps caps_of(const DeviceShape& shape) {
  DeviceCaps caps = {};
  set_code(caps.ev, EV_SYN);
  if (!shape.keys.empty()) set_code(caps.ev, EV_KEY);
  if (!shape.axes.empty()) set_code(caps.ev, EV_ABS);
  if (!shape.rel.empty()) set_code(caps.ev, EV_REL);
  for (unsigned int code : shape.keys) set_code(caps.key, code);
  for (unsigned int code : shape.axes) set_code(caps.abs, code);
  for (unsigned int code : shape.rel) set_code(caps.rel, code);
  for (unsigned int code : shape.props) set_code(caps.prop, code);
  return caps;
}
