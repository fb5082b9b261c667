// Capability sets of real input devices, as their kernel drivers report
// them: the table the classification is tested on, and the shapes of the
// virtual devices the VM tests make.
#pragma once

#include <initializer_list>
#include <vector>

#include "../src/core/linux/device_class.h"

struct DeviceSpec {
  const char* name;
  std::vector<unsigned int> keys;
  std::vector<unsigned int> axes;
  std::vector<unsigned int> rel;
  std::vector<unsigned int> props;
};

namespace real_devices {

DeviceSpec laptop_touchpad();
DeviceSpec touchscreen();
DeviceSpec graphics_tablet();
DeviceSpec vm_absolute_mouse();  // QEMU's USB tablet
DeviceSpec gamepad_motion_sensor();
DeviceSpec gamepad_touchpad();
DeviceSpec gamepad();
DeviceSpec turntable();  // a rotary controller: ABS_X only
DeviceSpec keyboard_with_extra_buttons();
DeviceSpec keyconv_keyboard();   // the program's own virtual keyboard
DeviceSpec many_button_mouse();  // buttons that run into BTN_JOYSTICK

}  // namespace real_devices

DeviceCaps caps_of(const DeviceSpec& spec);
