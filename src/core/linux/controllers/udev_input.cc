// Device discovery through libudev: the monitor's events come after udev
// has classified the device and set its node's permissions.
#if !defined(__linux__)
#error "udev_input.cc belongs to the Linux build only"
#endif

#include "udev_input.h"

#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input_sysfs.h"

namespace {

udev* context = nullptr;
udev_monitor* monitor = nullptr;

}  // namespace

bool udev_running() { return access("/run/udev/control", F_OK) == 0; }

bool udev_watch_open() {
  context = udev_new();
  if (context == nullptr) return false;
  monitor = udev_monitor_new_from_netlink(context, "udev");
  if (monitor == nullptr ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor, "input", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    udev_watch_close();
    return false;
  }
  return true;
}

int udev_watch_fd() { return monitor != nullptr ? udev_monitor_get_fd(monitor) : -1; }

void udev_watch_close() {
  if (monitor != nullptr) udev_monitor_unref(monitor);
  if (context != nullptr) udev_unref(context);
  monitor = nullptr;
  context = nullptr;
}

int udev_watch_changes(NodeChange* out, int capacity, bool& lost) {
  int count = 0;
  pollfd pending = {udev_monitor_get_fd(monitor), POLLIN, 0};
  while (count < capacity && poll(&pending, 1, 0) > 0) {
    errno = 0;
    udev_device* device = udev_monitor_receive_device(monitor);
    if (device == nullptr) {
      if (errno == ENOBUFS) lost = true;  // the socket overflowed
      if (errno != EAGAIN && errno != EINTR) lost = true;
      break;
    }
    const int number = event_node_number(udev_device_get_sysname(device));
    const char* action = udev_device_get_action(device);
    if (number >= 0 && action != nullptr) {
      out[count++] = {
          number, std::strcmp(action, "remove") == 0 ? NodeChange::removed : NodeChange::appeared};
    }
    udev_device_unref(device);
  }
  return count;
}

UdevVerdict udev_joystick_verdict(int number, char* id_path, std::size_t size) {
  id_path[0] = '\0';
  if (context == nullptr) return UdevVerdict::unknown;
  char name[32];
  std::snprintf(name, sizeof name, "event%d", number);
  udev_device* device = udev_device_new_from_subsystem_sysname(context, "input", name);
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
