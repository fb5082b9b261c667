// Taking a controller's events in, straight from its node.
#if !defined(__linux__)
#error "evdev_events.cc belongs to the Linux build only"
#endif

#include "evdev_events.h"

#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace {

void take_event(Controller& controller, const input_event& event) {
  if (event.type == EV_ABS && event.code == ABS_X) {
    controller.x_value = event.value;
    return;
  }
  if (event.type != EV_KEY) return;
  for (int i = 0; i < controller.button_count; ++i) {
    if (controller.buttons[i] != event.code) continue;
    const std::uint32_t bit = 1u << i;
    controller.buttons_down =
        event.value != 0 ? controller.buttons_down | bit : controller.buttons_down & ~bit;
  }
}

// The device's state as the kernel has it now, after it dropped events.
void catch_up(Controller& controller) {
  input_absinfo x_axis;
  if (ioctl(controller.fd, EVIOCGABS(ABS_X), &x_axis) == 0) controller.x_value = x_axis.value;
  unsigned char keys[KEY_MAX / 8 + 1] = {};
  if (ioctl(controller.fd, EVIOCGKEY(sizeof keys), keys) < 0) return;
  controller.buttons_down = 0;
  for (int i = 0; i < controller.button_count; ++i) {
    const unsigned int code = controller.buttons[i];
    if (((keys[code / 8] >> (code % 8)) & 1) != 0) controller.buttons_down |= 1u << i;
  }
}

}  // namespace

ReadOutcome take_events(Controller& controller) {
  constexpr std::size_t CAPACITY = 64;
  for (;;) {
    input_event events[CAPACITY];
    const ssize_t got = read(controller.fd, events, sizeof events);
    if (got < 0) {
      if (errno == EAGAIN) return ReadOutcome::current;
      if (errno == EINTR) continue;
      return errno == ENODEV ? ReadOutcome::gone : ReadOutcome::failed;
    }
    const auto count = static_cast<std::size_t>(got) / sizeof events[0];
    for (std::size_t i = 0; i < count; ++i) {
      const input_event& event = events[i];
      if (event.type == EV_SYN && event.code == SYN_DROPPED) {
        controller.dropping = true;  // until the next report, then ask the kernel
      } else if (controller.dropping) {
        controller.dropping = !(event.type == EV_SYN && event.code == SYN_REPORT);
        if (!controller.dropping) catch_up(controller);
      } else {
        take_event(controller, event);
      }
    }
    // The kernel hands out every event it holds: fewer than asked for means
    // none is left.
    if (count < CAPACITY) return ReadOutcome::current;
  }
}

void take_initial_state(Controller& controller) {
  const libevdev* dev = controller.dev;
  controller.x_min = libevdev_get_abs_minimum(dev, ABS_X);
  controller.x_max = libevdev_get_abs_maximum(dev, ABS_X);
  controller.x_value = libevdev_get_event_value(dev, EV_ABS, ABS_X);
  controller.buttons_down = 0;
  for (int i = 0; i < controller.button_count; ++i) {
    if (libevdev_get_event_value(dev, EV_KEY, controller.buttons[i]) != 0) {
      controller.buttons_down |= 1u << i;
    }
  }
}

std::uint32_t scale_axis(int value, int minimum, int maximum) {
  if (maximum <= minimum || value <= minimum) return 0;
  if (value >= maximum) return 65535;
  const long long range = static_cast<long long>(maximum) - minimum;
  const long long offset = static_cast<long long>(value) - minimum;
  return static_cast<std::uint32_t>((offset * 65535 + range / 2) / range);
}

std::uint32_t x_position(const Controller& controller) {
  return scale_axis(controller.x_value, controller.x_min, controller.x_max);
}
