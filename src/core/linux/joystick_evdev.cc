// joyGetNumDevs and joyGetPosEx: a controller's pending events taken in,
// then its X axis and buttons as winmm reports them.
#if !defined(__linux__)
#error "joystick_evdev.cc belongs to the Linux build only"
#endif

#include "joystick_evdev.h"

#include <libevdev/libevdev.h>

#include <cerrno>

#include "../platform.h"
#include "controller_table.h"

ReadOutcome take_events(libevdev* dev) {
  unsigned int flag = LIBEVDEV_READ_FLAG_NORMAL;
  for (;;) {
    input_event event;
    const int rc = libevdev_next_event(dev, flag, &event);
    if (rc == LIBEVDEV_READ_STATUS_SYNC) {
      flag = LIBEVDEV_READ_FLAG_SYNC;  // events were dropped: catch up
    } else if (rc == -EAGAIN) {
      if (flag == LIBEVDEV_READ_FLAG_NORMAL) return ReadOutcome::current;
      flag = LIBEVDEV_READ_FLAG_NORMAL;  // caught up; read what came since
    } else if (rc == -ENODEV) {
      return ReadOutcome::gone;
    } else if (rc < 0 && rc != -EINTR) {
      return ReadOutcome::failed;
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

std::uint32_t button_mask(const libevdev* dev, const std::uint16_t* codes, int count) {
  std::uint32_t mask = 0;
  for (int i = 0; i < count; ++i) {
    if (libevdev_get_event_value(dev, EV_KEY, codes[i]) != 0) mask |= 1u << i;
  }
  return mask;
}

UINT joyGetNumDevs() { return JOYSTICK_IDS; }

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  if (id >= JOYSTICK_IDS) return JOYERR_PARMS;
  const int index = static_cast<int>(id);
  const Controller* controller = controller_for(index);
  if (controller == nullptr) return controller_absent(index) ? JOYERR_UNPLUGGED : JOYERR_PARMS;
  switch (take_events(controller->dev)) {
    case ReadOutcome::current:
      break;
    case ReadOutcome::failed:
      return JOYERR_UNPLUGGED;  // this time; the controller stays
    case ReadOutcome::gone:
      unplug_controller(index);
      return JOYERR_UNPLUGGED;
  }
  info->dwXpos = scale_axis(libevdev_get_event_value(controller->dev, EV_ABS, ABS_X),
                            controller->x_min, controller->x_max);
  info->dwButtons = button_mask(controller->dev, controller->buttons, controller->button_count);
  return JOYERR_NOERROR;
}
