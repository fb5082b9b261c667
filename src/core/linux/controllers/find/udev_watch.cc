// Device discovery through libudev: the monitor's events come after udev
// has classified the device and set its node's permissions.
#if !defined(__linux__)
#error "udev_watch.cc belongs to the Linux build only"
#endif

#include "udev_watch.h"

#include <libudev.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

// The monitor's socket does not block: a receive with nothing pending
// fails with EAGAIN.
int udev_watch_changes(NodeChange* out, int capacity, bool& lost) {
  int count = 0;
  while (count < capacity) {
    errno = 0;
    udev_device* device = udev_monitor_receive_device(monitor);
    if (device == nullptr) {
      // ENOBUFS: the socket overflowed.
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) lost = true;
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
