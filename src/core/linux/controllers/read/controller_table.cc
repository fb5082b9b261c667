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

#include "../know/controller_verdict.h"
#include "axis_fuzz.h"
#include "controller_access.h"
#include "evdev_events.h"

namespace {

Controller controllers[JOYSTICK_IDS];
IdHolder holders[JOYSTICK_IDS];

// Nodes of controllers that this user may not open (yet): tried again when
// their permissions change.
constexpr int MOST_REFUSED = 32;
int refused[MOST_REFUSED];
int refused_count = 0;

bool was_refused(int number) {
  for (int i = 0; i < refused_count; ++i) {
    if (refused[i] == number) return true;
  }
  return false;
}

void note_refusal(int number, bool refused_now) {
  for (int i = 0; i < refused_count; ++i) {
    if (refused[i] == number) refused[i--] = refused[--refused_count];
  }
  if (refused_now && refused_count < MOST_REFUSED) refused[refused_count++] = number;
}

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
// A node that turns out to hold another device than the one judged is
// closed untouched and judged once more.
void consider(int number, bool afresh = true) {
  if (node_open(number)) return;
  const InputPaths& paths = watch_paths();
  InputNode node;
  NodeVerdict verdict;
  if (!judge_node(paths.sys_class_input, number, watch_uses_udev(), node, verdict) ||
      !verdict.controller) {
    return;
  }
  const int id = choose_id(holders, node.identity);
  if (id < 0) return;  // every id is held

  char path[128];
  std::snprintf(path, sizeof path, "%s/event%d", paths.dev_input, number);
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const bool denied = fd < 0 && (errno == EACCES || errno == EPERM);
  note_refusal(number, denied);
  if (fd < 0) {
    // udev sets the permissions of a node it has not finished with yet; its
    // event comes when it has, and the node is tried again then.
    if (denied && verdict.settled) report_denied_controller(path, node, errno);
    return;  // also when it went away since it was described
  }
  libevdev* dev = nullptr;
  const bool opened = libevdev_new_from_fd(fd, &dev) == 0;
  if (!opened || !opened_as_judged(dev, node) || !libevdev_has_event_code(dev, EV_ABS, ABS_X)) {
    if (dev != nullptr) libevdev_free(dev);
    close(fd);
    if (opened && afresh) consider(number, false);
    return;
  }
  Controller& controller = controllers[id];
  controller.fd = fd;
  controller.dev = dev;
  controller.node = number;
  controller.button_count = controller_buttons(node.caps, controller.buttons);
  take_initial_state(controller);
  if (holders[id].player) axis_fuzz_off(id, fd);
  holders[id].state = IdState::present;
  holders[id].identity = node.identity;
}

void take_changes() {
  for (;;) {
    NodeChange changes[32];
    bool lost = false;
    const int count = watch_changes(changes, 32, lost);
    for (int i = 0; i < count; ++i) {
      const NodeChange& change = changes[i];
      if (change.kind == NodeChange::removed) {
        note_refusal(change.number, false);
        for (int id = 0; id < JOYSTICK_IDS; ++id) {
          if (controllers[id].dev != nullptr && controllers[id].node == change.number) {
            unplug_controller(id);
          }
        }
      } else if (change.kind == NodeChange::appeared || was_refused(change.number) ||
                 !watch_uses_udev()) {
        // Where udev runs, its own events bring new nodes; a change of
        // permissions matters for a node that was refused.
        consider(change.number);
      }
    }
    if (lost) watch_list([](int number) { consider(number); });
    if (count < 32) return;
  }
}

}  // namespace

void open_controllers(const InputPaths& paths) {
  close_controllers();
  for (IdHolder& holder : holders) holder = IdHolder{};
  refused_count = 0;
  forget_denied_report();
  // Watching starts first, so that no node slips in between.
  watch_start(paths);
  watch_list([](int number) { consider(number); });
}

void close_controllers() {
  for (int id = 0; id < JOYSTICK_IDS; ++id) close_controller(id);
  watch_stop();
}

void controllers_of_players(const CntrIds& ids) {
  for (const CntrId id : ids) {
    if (id < 0 || id >= JOYSTICK_IDS) continue;
    holders[id].player = true;
    if (controllers[id].dev != nullptr) axis_fuzz_off(id, controllers[id].fd);
  }
}

void follow_device_changes() {
  if (watch_pending()) take_changes();
}

Controller* open_controller(int id) {
  return controllers[id].dev != nullptr ? &controllers[id] : nullptr;
}

bool controller_absent(int id) { return holders[id].state == IdState::absent; }

void unplug_controller(int id) {
  close_controller(id);
  holders[id].state = IdState::absent;
}
