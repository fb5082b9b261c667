// Capability sets of real input devices, as their kernel drivers report
// them: the table the classification is tested on, and the shapes of the
// virtual devices the VM tests make.
#pragma once

#include <initializer_list>
#include <vector>

#include "../src/core/linux/device_class.h"

struct DeviceShape {
  const char* name;
  std::vector<unsigned int> keys;
  std::vector<unsigned int> axes;
  std::vector<unsigned int> rel;
  std::vector<unsigned int> props;
};

namespace real_devices {

DeviceShape laptop_touchpad();
DeviceShape touchscreen();
DeviceShape graphics_tablet();
DeviceShape vm_absolute_mouse();  // QEMU's USB tablet
DeviceShape gamepad_motion_sensor();
DeviceShape gamepad_touchpad();
DeviceShape gamepad();
DeviceShape turntable();  // a rotary controller: ABS_X only
DeviceShape keyboard_with_extra_buttons();
DeviceShape keyconv_keyboard();   // the program's own virtual keyboard
DeviceShape many_button_mouse();  // buttons that run into BTN_JOYSTICK

}  // namespace real_devices

DeviceCaps caps_of(const DeviceShape& shape);
