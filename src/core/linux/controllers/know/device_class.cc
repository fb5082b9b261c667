// Device classification after udev's input_id builtin, for machines without
// a udev database, and the controller's buttons.
#include "device_class.h"

namespace {

template <std::size_t N>
int count_codes(const std::uint64_t (&words)[N], unsigned int first, unsigned int last) {
  int count = 0;
  for (unsigned int code = first; code <= last; ++code) count += has_code(words, code) ? 1 : 0;
  return count;
}

// Joystick buttons: the BTN_JOYSTICK block, the d-pad and the extra trigger
// buttons, in ascending order of code.
constexpr unsigned int JOYSTICK_BUTTON_RANGES[][2] = {{BTN_JOYSTICK, BTN_DIGI - 1},
                                                      {BTN_DPAD_UP, BTN_DPAD_RIGHT},
                                                      {BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40}};

// A mouse with so many buttons that they run up to BTN_JOYSTICK has no
// joystick buttons at all.
bool has_joystick_range_mouse_buttons(const DeviceCaps& caps) {
  return has_code(caps.key, BTN_JOYSTICK - 1);
}

int joystick_button_count(const DeviceCaps& caps) {
  if (has_joystick_range_mouse_buttons(caps)) return 0;
  int count = 0;
  for (const auto& range : JOYSTICK_BUTTON_RANGES)
    count += count_codes(caps.key, range[0], range[1]);
  return count;
}

int joystick_axis_count(const DeviceCaps& caps) {
  return count_codes(caps.abs, ABS_RX, ABS_PRESSURE - 1);
}

// Keys every keyboard has and no joystick does: with four of them, joystick
// buttons on the same device are a keyboard's extras.
bool looks_like_keyboard(const DeviceCaps& caps) {
  constexpr unsigned int WELL_KNOWN_KEYS[] = {
      KEY_LEFTCTRL, KEY_CAPSLOCK, KEY_NUMLOCK, KEY_INSERT,    KEY_MUTE,
      KEY_CALC,     KEY_FILE,     KEY_MAIL,    KEY_PLAYPAUSE, KEY_BRIGHTNESSDOWN};
  int found = 0;
  for (unsigned int key : WELL_KNOWN_KEYS) found += has_code(caps.key, key) ? 1 : 0;
  return found >= 4;
}

// A tablet's pad: numbered buttons and a wheel, without relative motion.
bool is_tablet_pad(const DeviceCaps& caps) {
  const bool has_pad_buttons = has_code(caps.key, BTN_0) && has_code(caps.key, BTN_1);
  const bool has_wheel = has_code(caps.ev, EV_REL) &&
                         (has_code(caps.rel, REL_WHEEL) || has_code(caps.rel, REL_HWHEEL));
  const bool has_rel_xy =
      has_code(caps.ev, EV_REL) && has_code(caps.rel, REL_X) && has_code(caps.rel, REL_Y);
  return has_pad_buttons && has_wheel && !has_rel_xy;
}

}  // namespace

DeviceClass classify_device(const DeviceCaps& caps) {
  const bool has_keys = has_code(caps.ev, EV_KEY);
  const bool has_xy = has_code(caps.abs, ABS_X) && has_code(caps.abs, ABS_Y);
  if (has_code(caps.prop, INPUT_PROP_ACCELEROMETER) ||
      (!has_keys && has_xy && has_code(caps.abs, ABS_Z))) {
    return DeviceClass::accelerometer;
  }

  const bool has_pen = has_code(caps.key, BTN_STYLUS) || has_code(caps.key, BTN_TOOL_PEN);
  const bool finger_but_no_pen =
      has_code(caps.key, BTN_TOOL_FINGER) && !has_code(caps.key, BTN_TOOL_PEN);
  const bool is_direct = has_code(caps.prop, INPUT_PROP_DIRECT);
  const bool has_mouse_button = count_codes(caps.key, BTN_MOUSE, BTN_JOYSTICK - 1) > 0;
  const int joystick_parts = joystick_button_count(caps) + joystick_axis_count(caps);
  const bool has_joystick_parts = joystick_parts > 0;

  DeviceClass found = DeviceClass::other;
  if (has_xy) {
    // The first match wins: a pad or tablet may have joystick buttons too.
    if (has_pen) {
      found = DeviceClass::tablet;
    } else if (finger_but_no_pen && !is_direct) {
      found = DeviceClass::touchpad;
    } else if (has_mouse_button) {
      found = DeviceClass::mouse;  // an absolute mouse, as virtual machines have
    } else if (has_code(caps.key, BTN_TOUCH) || is_direct) {
      found = DeviceClass::touchscreen;
    } else if (has_joystick_parts) {
      found = DeviceClass::joystick;
    }
  } else if (has_joystick_parts) {
    found = DeviceClass::joystick;
  }

  // A single joystick button or axis is too little: udev calls such a
  // device no joystick, and neither does keyconv.
  if (found == DeviceClass::joystick &&
      (looks_like_keyboard(caps) || is_tablet_pad(caps) || joystick_parts < 2)) {
    return DeviceClass::other;
  }
  if (found == DeviceClass::other && is_tablet_pad(caps)) return DeviceClass::tablet;
  if (found == DeviceClass::other && has_mouse_button && !has_xy) return DeviceClass::mouse;
  return found;
}

bool is_controller(const DeviceCaps& caps) {
  return has_code(caps.abs, ABS_X) && classify_device(caps) == DeviceClass::joystick;
}

int controller_buttons(const DeviceCaps& caps, std::uint16_t codes[MAX_BUTTONS]) {
  if (has_joystick_range_mouse_buttons(caps)) return 0;
  int count = 0;
  for (const auto& range : JOYSTICK_BUTTON_RANGES) {
    for (unsigned int code = range[0]; code <= range[1] && count < MAX_BUTTONS; ++code) {
      if (has_code(caps.key, code)) codes[count++] = static_cast<std::uint16_t>(code);
    }
  }
  return count;
}
