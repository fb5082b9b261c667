// Reading udev's database through libudev.
#if !defined(__linux__)
#error "udev_verdict.cc belongs to the Linux build only"
#endif

#include "udev_verdict.h"

#include <libudev.h>

#include <cstdio>
#include <cstring>

namespace {

// Made at the first question and kept: a program asks of a few nodes only.
udev* context = nullptr;

// eventN as udev's database has it; nullptr where it has no entry.
udev_device* udev_node(int number) {
  if (context == nullptr) context = udev_new();
  if (context == nullptr) return nullptr;
  char name[32];
  std::snprintf(name, sizeof name, "event%d", number);
  return udev_device_new_from_subsystem_sysname(context, "input", name);
}

}  // namespace

UdevVerdict udev_joystick_verdict(int number, char* id_path, std::size_t size) {
  id_path[0] = '\0';
  udev_device* device = udev_node(number);
  if (device == nullptr) return UdevVerdict::unknown;
  UdevVerdict verdict = UdevVerdict::unknown;
  if (udev_device_get_is_initialized(device) > 0) {
    const char* joystick = udev_device_get_property_value(device, "ID_INPUT_JOYSTICK");
    verdict = joystick != nullptr && std::strcmp(joystick, "1") == 0 ? UdevVerdict::joystick
                                                                     : UdevVerdict::not_joystick;
    if (const char* path = udev_device_get_property_value(device, "ID_PATH")) {
      std::snprintf(id_path, size, "%s", path);
    }
  }
  udev_device_unref(device);
  return verdict;
}

void udev_seat_of(int number, char* seat, std::size_t size) {
  std::snprintf(seat, size, "seat0");
  udev_device* device = udev_node(number);
  if (device == nullptr) return;
  const char* tagged = udev_device_get_property_value(device, "ID_SEAT");
  if (tagged != nullptr && tagged[0] != '\0') std::snprintf(seat, size, "%s", tagged);
  udev_device_unref(device);
}
