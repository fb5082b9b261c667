// The id table, and following nodes as they come and go.
#if !defined(__linux__)
#error "controller_table.cc belongs to the Linux build only"
#endif

#include "controller_table.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "axis_fuzz.h"
#include "controller_access.h"
#include "controller_verdict.h"

namespace {

Controller controllers[JOYSTICK_IDS];
IdHolder holders[JOYSTICK_IDS];
bool started = false;

void close_controller(int id) {
  Controller& controller = controllers[id];
  axis_fuzz_restore(id);
  if (controller.dev != nullptr) libevdev_free(controller.dev);
  if (controller.fd >= 0) close(controller.fd);
  controller = Controller{};
}

bool node_open(int number) {
  for (const Controller& controller : controllers) {
    if (controller.dev != nullptr && controller.node == number) return true;
  }
  return false;
}

// Opens eventN into an id when it is a controller; never opens anything else.
void consider(int number) {
  if (node_open(number)) return;
  InputNode node;
  NodeVerdict verdict;
  if (!judge_node(number, node, verdict) || !verdict.controller) return;
  const int id = choose_id(holders, node.identity);
  if (id < 0) return;  // every id is held

  char path[128];
  std::snprintf(path, sizeof path, "%s/event%d", watch_paths().dev_input, number);
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
  Controller& controller = controllers[id];
  controller.fd = fd;
  controller.dev = dev;
  controller.node = number;
  controller.x_min = libevdev_get_abs_minimum(dev, ABS_X);
  controller.x_max = libevdev_get_abs_maximum(dev, ABS_X);
  controller.button_count = controller_buttons(node.caps, controller.buttons);
  axis_fuzz_off(id, dev);
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
        if (controllers[id].dev != nullptr && controllers[id].node == changes[i].number) {
          unplug_controller(id);
        }
      }
    }
    if (lost) watch_list(consider);
    if (count < 32) return;
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
  for (int id = 0; id < JOYSTICK_IDS; ++id) close_controller(id);
  watch_stop();
  started = false;
}

Controller* controller_for(int id) {
  if (!started) open_controllers(SYSTEM_INPUT_PATHS);
  if (controllers[id].dev == nullptr) follow_changes();
  return controllers[id].dev != nullptr ? &controllers[id] : nullptr;
}

bool controller_absent(int id) { return holders[id].state == IdState::absent; }

void unplug_controller(int id) {
  axis_fuzz_forget(id);  // its node is gone, and its fuzz with it
  close_controller(id);
  holders[id].state = IdState::absent;
}
