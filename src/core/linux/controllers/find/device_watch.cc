// Device discovery: picks udev or inotify and lists the nodes present.
#if !defined(__linux__)
#error "device_watch.cc belongs to the Linux build only"
#endif

#include "device_watch.h"

#include <dirent.h>
#include <poll.h>

#include <algorithm>
#include <cstring>

#include "inotify_watch.h"
#include "udev_watch.h"

namespace {

InputPaths paths = SYSTEM_INPUT_PATHS;
enum class Mode { none, udev, inotify } mode = Mode::none;

}  // namespace

void watch_start(const InputPaths& wanted) {
  watch_stop();
  paths = wanted;
  const bool system_paths =
      std::strcmp(paths.dev_input, SYSTEM_INPUT_PATHS.dev_input) == 0 &&
      std::strcmp(paths.sys_class_input, SYSTEM_INPUT_PATHS.sys_class_input) == 0;
  if (system_paths && udev_running() && udev_watch_open()) {
    mode = Mode::udev;
    inotify_watch_open(paths.dev_input, true);
  } else if (inotify_watch_open(paths.dev_input, false)) {
    mode = Mode::inotify;
  }
}

void watch_stop() {
  if (mode == Mode::udev) udev_watch_close();
  inotify_watch_close();
  mode = Mode::none;
}

const InputPaths& watch_paths() { return paths; }

bool watch_uses_udev() { return mode == Mode::udev; }

bool watch_pending() {
  int fds[2];
  watch_fds(fds);
  pollfd pending[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
  // ppoll, not poll: a test counts the passes by the keystroke check's poll.
  const timespec now = {0, 0};
  return ppoll(pending, 2, &now, nullptr) > 0;
}

int watch_changes(NodeChange* out, int capacity, bool& lost) {
  if (mode == Mode::none) return 0;
  const int from_udev = mode == Mode::udev ? udev_watch_changes(out, capacity, lost) : 0;
  return from_udev + inotify_watch_changes(out + from_udev, capacity - from_udev, lost);
}

void watch_fds(int (&fds)[2]) {
  fds[0] = mode == Mode::udev ? udev_watch_fd() : -1;
  fds[1] = inotify_watch_fd();
}

int watch_list(int (&numbers)[MOST_NODES]) {
  DIR* dir = opendir(paths.dev_input);
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    const int number = event_node_number(entry->d_name);
    if (number >= 0 && count < MOST_NODES) numbers[count++] = number;
  }
  closedir(dir);
  std::sort(numbers, numbers + count);
  return count;
}
