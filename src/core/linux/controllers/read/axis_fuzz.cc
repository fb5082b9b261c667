// The fuzz of each controller's X axis, set to 0 and put back, each change
// recorded for the signal handlers (signals/undo_list.h) before it is made.
#if !defined(__linux__)
#error "axis_fuzz.cc belongs to the Linux build only"
#endif

#include "axis_fuzz.h"

#include <linux/input.h>
#include <sys/ioctl.h>

#include "../../signals/undo_list.h"
#include "../know/device_identity.h"

static_assert(JOYSTICK_IDS <= MOST_CHANGES_OF_A_KIND, "each id has a slot of its own");

namespace {

// The change undone: the axis's own fuzz, the rest of the axis, its
// position above all, as the kernel has it now. Async-signal-safe.
void refilter(int fd, int fuzz) {
  input_absinfo x_axis;
  if (ioctl(fd, EVIOCGABS(ABS_X), &x_axis) != 0) return;
  x_axis.fuzz = fuzz;
  ioctl(fd, EVIOCSABS(ABS_X), &x_axis);
}

}  // namespace

void axis_fuzz_off(int id, int fd) {
  input_absinfo x_axis;
  if (ioctl(fd, EVIOCGABS(ABS_X), &x_axis) != 0 || x_axis.fuzz == 0) return;
  set_change_actions(Change::x_filter, {refilter, ChangeActions::AtStop::keep, nullptr});
  record_change(Change::x_filter, id, fd, x_axis.fuzz);
  x_axis.fuzz = 0;
  ioctl(fd, EVIOCSABS(ABS_X), &x_axis);
}

void axis_fuzz_restore(int id) { undo_change(Change::x_filter, id); }
