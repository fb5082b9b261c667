#include "virtual_device.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

bool VirtualDevice::make(const DeviceShape& shape, AxisRange x, const char* phys) {
  destroy();
  dev = libevdev_new();
  libevdev_set_name(dev, shape.name);
  libevdev_set_phys(dev, phys);
  libevdev_set_id_bustype(dev, BUS_USB);
  libevdev_set_id_vendor(dev, 0x1ccf);
  libevdev_set_id_product(dev, 0x8048);
  for (unsigned int key : shape.keys) libevdev_enable_event_code(dev, EV_KEY, key, nullptr);
  for (unsigned int axis : shape.axes) {
    input_absinfo info = {};
    info.minimum = x.minimum;
    info.maximum = x.maximum;
    info.fuzz = x.fuzz;
    info.value = x.value;
    if (axis == ABS_MT_SLOT) info = {0, 0, 9, 0, 0, 0};
    if (axis == ABS_MT_TRACKING_ID) info = {-1, -1, 65535, 0, 0, 0};
    libevdev_enable_event_code(dev, EV_ABS, axis, &info);
  }
  for (unsigned int rel : shape.rel) libevdev_enable_event_code(dev, EV_REL, rel, nullptr);
  for (unsigned int prop : shape.props) libevdev_enable_property(dev, prop);
  // libevdev leaves phys unset: two controllers of one model would then be
  // the same device to the program.
  uinput_fd = open("/dev/uinput", O_RDWR | O_CLOEXEC);
  if (uinput_fd < 0 || ioctl(uinput_fd, UI_SET_PHYS, phys) != 0 ||
      libevdev_uinput_create_from_device(dev, uinput_fd, &uinput) != 0) {
    uinput = nullptr;
    return false;
  }
  return true;
}

void VirtualDevice::destroy() {
  if (uinput != nullptr) libevdev_uinput_destroy(uinput);
  if (uinput_fd >= 0) close(uinput_fd);
  if (dev != nullptr) libevdev_free(dev);
  uinput = nullptr;
  uinput_fd = -1;
  dev = nullptr;
}

input_absinfo VirtualDevice::x_axis() const {
  const int fd = open(node().c_str(), O_RDONLY | O_CLOEXEC);
  input_absinfo x_axis = {};
  const bool read = fd >= 0 && ioctl(fd, EVIOCGABS(ABS_X), &x_axis) == 0;
  if (fd >= 0) close(fd);
  if (!read) x_axis.fuzz = x_axis.value = -1;
  return x_axis;
}

std::string VirtualDevice::node() const {
  const char* path = uinput != nullptr ? libevdev_uinput_get_devnode(uinput) : nullptr;
  return path != nullptr ? path : "";
}

void VirtualDevice::emit(unsigned int type, unsigned int code, int value) {
  libevdev_uinput_write_event(uinput, type, code, value);
  libevdev_uinput_write_event(uinput, EV_SYN, SYN_REPORT, 0);
}

bool make_controller(VirtualDevice& device, AxisRange x, const char* phys) {
  return device.make(real_devices::TURNTABLE, x, phys);
}
