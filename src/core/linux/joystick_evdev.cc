// The id table and the reading of controllers through libevdev.
#if !defined(__linux__)
#error "joystick_evdev.cc belongs to the Linux build only"
#endif

#include "joystick_evdev.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "../platform.h"
#include "controller_access.h"
#include "controller_ids.h"

namespace evdev_joystick {
namespace {

struct Joystick {
  int fd = -1;
  libevdev* dev = nullptr;
  int node = -1;
  int x_min = 0;
  int x_max = 0;
  int button_count = 0;
  std::uint16_t buttons[MAX_BUTTONS] = {};
};

Joystick joysticks[JOYSTICK_IDS];
IdHolder holders[JOYSTICK_IDS];
bool started = false;

// The fuzz of each controller's X axis before keyconv set it to 0. The
// signal handlers put it back, so they see only these: an entry's fuzz is
// written before its fd, and the fd cleared before it closes.
volatile sig_atomic_t own_x_fuzz[JOYSTICK_IDS];
static_assert(JOYSTICK_IDS == 16);
volatile sig_atomic_t fuzz_changed_fd[JOYSTICK_IDS] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                       -1, -1, -1, -1, -1, -1, -1, -1};

// The kernel drops every change of an axis within half its fuzz, which the
// HID driver sets to a 256th of the range. Every step must reach the motion
// detector, so the filter is off while keyconv reads. The setting is the
// device's, so other readers see it too until keyconv puts it back.
void unfilter_x_axis(int id, libevdev* dev) {
  const input_absinfo* x_axis = libevdev_get_abs_info(dev, ABS_X);
  if (x_axis == nullptr || x_axis->fuzz == 0) return;
  own_x_fuzz[id] = x_axis->fuzz;
  input_absinfo unfiltered = *x_axis;
  unfiltered.fuzz = 0;
  if (libevdev_kernel_set_abs_info(dev, ABS_X, &unfiltered) == 0) {
    fuzz_changed_fd[id] = libevdev_get_fd(dev);
  }
}

// Puts the fuzz back and keeps the rest of the axis, its position above
// all, as the kernel has it now. Async-signal-safe.
void refilter(int fd, int fuzz) {
  input_absinfo x_axis;
  if (ioctl(fd, EVIOCGABS(ABS_X), &x_axis) != 0) return;
  x_axis.fuzz = fuzz;
  ioctl(fd, EVIOCSABS(ABS_X), &x_axis);
}

void refilter_x_axis(int id) {
  const int fd = fuzz_changed_fd[id];
  fuzz_changed_fd[id] = -1;
  if (fd >= 0) refilter(fd, own_x_fuzz[id]);
}

void close_joystick(int id) {
  Joystick& joystick = joysticks[id];
  refilter_x_axis(id);
  if (joystick.dev != nullptr) libevdev_free(joystick.dev);
  if (joystick.fd >= 0) close(joystick.fd);
  joystick = Joystick{};
}

// The controller went away: its id waits for it to come back.
void unplug(int id) {
  fuzz_changed_fd[id] = -1;  // its node is gone, and its filter with it
  close_joystick(id);
  holders[id].state = IdState::absent;
}

bool node_open(int number) {
  for (const Joystick& joystick : joysticks) {
    if (joystick.dev != nullptr && joystick.node == number) return true;
  }
  return false;
}

// Opens eventN into an id when it is a controller; never opens anything else.
void consider(int number) {
  if (node_open(number)) return;
  InputNode node;
  NodeVerdict verdict;
  if (!watch_describe(number, node, verdict) || !verdict.controller) return;
  const int id = choose_id(holders, node.identity);
  if (id < 0) return;  // every id is held

  char path[128];
  std::snprintf(path, sizeof path, "%s/event%d", watch_dev_input(), number);
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // udev sets the permissions of a node it has not finished with yet; its
    // event comes when it has, and the node is tried again then.
    if ((errno == EACCES || errno == EPERM) && verdict.settled) {
      report_denied_controller(path, node, errno);
    }
    return;  // also when it went away since it was described
  }
  libevdev* dev = nullptr;
  if (libevdev_new_from_fd(fd, &dev) != 0 || !libevdev_has_event_code(dev, EV_ABS, ABS_X)) {
    if (dev != nullptr) libevdev_free(dev);
    close(fd);
    return;
  }
  Joystick& joystick = joysticks[id];
  joystick.fd = fd;
  joystick.dev = dev;
  joystick.node = number;
  joystick.x_min = libevdev_get_abs_minimum(dev, ABS_X);
  joystick.x_max = libevdev_get_abs_maximum(dev, ABS_X);
  joystick.button_count = controller_buttons(node.caps, joystick.buttons);
  unfilter_x_axis(id, dev);
  holders[id] = {IdState::present, node.identity};
}

// Takes in what changed among the nodes since the last look: nothing is
// opened or listed when nothing changed.
void follow_changes() {
  for (;;) {
    NodeChange changes[32];
    bool lost = false;
    const int count = watch_changes(changes, 32, lost);
    for (int i = 0; i < count; ++i) {
      if (!changes[i].removed) {
        consider(changes[i].number);
        continue;
      }
      for (int id = 0; id < JOYSTICK_IDS; ++id) {
        if (joysticks[id].dev != nullptr && joysticks[id].node == changes[i].number) unplug(id);
      }
    }
    if (lost) watch_list(consider);
    if (count < 32) return;
  }
}

void start_if_needed() {
  if (!started) open_controllers({"/dev/input", "/sys/class/input"});
}

// Takes in every pending event, so the device's state is current. False
// when the device has gone away.
bool drain(libevdev* dev) {
  unsigned int flag = LIBEVDEV_READ_FLAG_NORMAL;
  for (;;) {
    input_event event;
    const int rc = libevdev_next_event(dev, flag, &event);
    if (rc == LIBEVDEV_READ_STATUS_SYNC) {
      flag = LIBEVDEV_READ_FLAG_SYNC;  // events were dropped: catch up
    } else if (rc == -EAGAIN) {
      if (flag == LIBEVDEV_READ_FLAG_NORMAL) return true;
      flag = LIBEVDEV_READ_FLAG_NORMAL;  // caught up; read what came since
    } else if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
      return false;
    }
  }
}

}  // namespace

void open_controllers(const InputPaths& paths) {
  close_controllers();
  for (IdHolder& holder : holders) holder = IdHolder{};
  forget_denied_report();
  // Watching starts first, so that no node slips in between.
  watch_start(paths);
  watch_list(consider);
  started = true;
}

void close_controllers() {
  for (int id = 0; id < JOYSTICK_IDS; ++id) close_joystick(id);
  watch_stop();
  started = false;
}

void restore_fuzz_now() {
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    const int fd = fuzz_changed_fd[id];
    if (fd >= 0) refilter(fd, own_x_fuzz[id]);
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

}  // namespace evdev_joystick

UINT joyGetNumDevs() { return JOYSTICK_IDS; }

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  using namespace evdev_joystick;
  if (id >= JOYSTICK_IDS) return JOYERR_PARMS;
  start_if_needed();
  Joystick& joystick = joysticks[id];
  if (joystick.dev == nullptr) {
    follow_changes();
    if (joystick.dev == nullptr) {
      return holders[id].state == IdState::absent ? JOYERR_UNPLUGGED : JOYERR_PARMS;
    }
  }
  if (!drain(joystick.dev)) {
    unplug(static_cast<int>(id));
    return JOYERR_UNPLUGGED;
  }
  info->dwXpos = scale_axis(libevdev_get_event_value(joystick.dev, EV_ABS, ABS_X), joystick.x_min,
                            joystick.x_max);
  info->dwButtons = button_mask(joystick.dev, joystick.buttons, joystick.button_count);
  return JOYERR_NOERROR;
}
