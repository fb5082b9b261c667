// Virtual input devices made through uinput, for the device tests.
#pragma once

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <string>

#include "real_devices.h"

struct AxisRange {
  int minimum = 0;
  int maximum = 65535;
  int fuzz = 0;
  int value = 0;
};

// A device made through uinput; destroyed when it goes out of scope.
struct VirtualDevice {
  libevdev* dev = nullptr;
  libevdev_uinput* uinput = nullptr;
  int uinput_fd = -1;

  VirtualDevice() = default;
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;
  ~VirtualDevice() { destroy(); }

  // Every axis of shape gets range x; phys tells re-plugged devices apart.
  bool make(const DeviceShape& shape, AxisRange x = {},
            const char* phys = "usb-keyconv-test/input0");
  void destroy();
  std::string node() const;
  // One event and its SYN_REPORT.
  void emit(unsigned int type, unsigned int code, int value);
  void press(unsigned int code) { emit(EV_KEY, code, 1); }
  void release(unsigned int code) { emit(EV_KEY, code, 0); }
  void move_x(int value) { emit(EV_ABS, ABS_X, value); }
  // The X axis as the kernel has it now; fuzz and value -1 when it cannot
  // be read.
  input_absinfo x_axis() const;
  int x_fuzz() const { return x_axis().fuzz; }
};

constexpr AxisRange AT_REST = {0, 65535, 0, 1000};

// A rotary controller: the turntable's shape, with range x.
bool make_controller(VirtualDevice& device, AxisRange x = AT_REST,
                     const char* phys = "usb-keyconv-test/input0");
