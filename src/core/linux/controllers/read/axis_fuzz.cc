// The fuzz of each controller's X axis, set to 0 and put back. The signal
// handlers see only the arrays here: an entry's fuzz is written before its
// descriptor, and the descriptor cleared before it closes.
#if !defined(__linux__)
#error "axis_fuzz.cc belongs to the Linux build only"
#endif

#include "axis_fuzz.h"

#include <linux/input.h>
#include <sys/ioctl.h>

#include <csignal>

#include "../../signals/abnormal_end.h"
#include "../know/device_identity.h"

namespace {

volatile sig_atomic_t own_x_fuzz[JOYSTICK_IDS];
static_assert(JOYSTICK_IDS == 16);
volatile sig_atomic_t fuzz_changed_fd[JOYSTICK_IDS] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                       -1, -1, -1, -1, -1, -1, -1, -1};

// Keeps the rest of the axis, its position above all, as the kernel has it
// now. Async-signal-safe.
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
  own_x_fuzz[id] = x_axis.fuzz;
  register_end_step(EndStep::axis_filter, {axis_fuzz_restore_all_now, nullptr, nullptr});
  x_axis.fuzz = 0;
  if (ioctl(fd, EVIOCSABS(ABS_X), &x_axis) == 0) fuzz_changed_fd[id] = fd;
}

void axis_fuzz_restore(int id) {
  const int fd = fuzz_changed_fd[id];
  fuzz_changed_fd[id] = -1;
  if (fd >= 0) refilter(fd, own_x_fuzz[id]);
}

void axis_fuzz_forget(int id) { fuzz_changed_fd[id] = -1; }

void axis_fuzz_restore_all_now() {
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    const int fd = fuzz_changed_fd[id];
    if (fd >= 0) refilter(fd, own_x_fuzz[id]);
  }
}
