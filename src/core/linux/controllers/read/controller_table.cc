// The id table, and following nodes as they come and go.
#if !defined(__linux__)
#error "controller_table.cc belongs to the Linux build only"
#endif

#include "controller_table.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "../know/controller_verdict.h"
#include "axis_fuzz.h"
#include "controller_access.h"
#include "evdev_events.h"

namespace {

Controller controllers[JOYSTICK_IDS];
IdTable table;
// Until the players are known, a controller that another program holds is
// named. The kernel's grab that tells it waits out an RCU grace period or
// two (tens of milliseconds under emulation): a controller re-plugged during
// the conversion is read without that wait.
bool naming_held_controllers = true;

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

void consider(int number, bool afresh = true);

void close_controller(int id) {
  Controller& controller = controllers[id];
  axis_fuzz_restore(id);
  if (controller.dev != nullptr) libevdev_free(controller.dev);
  if (controller.fd >= 0) close(controller.fd);
  controller = Controller{};
}

// Takes in the nodes present after the watch lost changes: controllers
// whose node is not among them went, and every node is looked at again.
void list_anew() {
  int numbers[MOST_NODES];
  const int count = watch_list(numbers);
  if (count < 0) return;  // no directory to list: its return will be
  int gone[JOYSTICK_IDS];
  const int went = ids_relisted(table, numbers, count, gone);
  for (int i = 0; i < went; ++i) close_controller(gone[i]);
  for (int i = 0; i < count; ++i) consider(numbers[i]);
}

// Opens eventN into an id when it is a controller; never opens anything else.
// A node that turns out to hold another device than the one judged is
// closed untouched and judged once more.
void consider(int number, bool afresh) {
  const InputPaths& paths = watch_paths();
  char path[128];
  std::snprintf(path, sizeof path, "%s/event%d", paths.dev_input, number);
  InputNode node;
  NodeVerdict verdict;
  struct stat status;
  if (stat(path, &status) != 0 ||
      !judge_node(paths.sys_class_input, number, watch_uses_udev(), node, verdict) ||
      !verdict.controller) {
    return;
  }
  const NodeDevice device = {number, status.st_rdev, node.instance, node.identity};
  if (id_holding(table, device) >= 0) return;  // open already

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
  const IdChanges changes = id_appeared(table, device);
  if (changes.gone >= 0) close_controller(changes.gone);
  if (changes.taken < 0) {  // every id is held
    libevdev_free(dev);
    close(fd);
    return;
  }
  Controller& controller = controllers[changes.taken];
  controller.fd = fd;
  controller.dev = dev;
  controller.button_count = controller_buttons(node.caps, controller.buttons);
  take_initial_state(controller);
  if (table.ids[changes.taken].player) axis_fuzz_off(changes.taken, fd);
  // Its events come once the other program lets go, as any controller's.
  if (naming_held_controllers && held_elsewhere(fd)) report_held_elsewhere(path, node);
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
        const int id = id_removed_at(table, change.number);
        if (id >= 0) close_controller(id);
      } else if (change.kind == NodeChange::appeared || was_refused(change.number) ||
                 !watch_uses_udev()) {
        // Where udev runs, its own events bring new nodes; a change of
        // permissions matters for a node that was refused.
        consider(change.number);
      }
    }
    if (lost) list_anew();
    if (count < 32) return;
  }
}

}  // namespace

void open_controllers(const InputPaths& paths) {
  close_controllers();
  table = IdTable{};
  naming_held_controllers = true;
  refused_count = 0;
  forget_denied_report();
  // Watching starts first, so that no node slips in between.
  watch_start(paths);
  list_anew();
}

void close_controllers() {
  for (int id = 0; id < JOYSTICK_IDS; ++id) close_controller(id);
  watch_stop();
}

void controllers_of_players(const CntrIds& ids) {
  naming_held_controllers = false;
  for (const CntrId id : ids) {
    if (id < 0 || id >= JOYSTICK_IDS) continue;
    id_taken_by_player(table, id);
    if (controllers[id].dev != nullptr) axis_fuzz_off(id, controllers[id].fd);
  }
}

void follow_device_changes() {
  if (watch_pending()) take_changes();
}

Controller* open_controller(int id) {
  return controllers[id].dev != nullptr ? &controllers[id] : nullptr;
}

bool controller_absent(int id) { return table.ids[id].state == IdState::absent; }

void unplug_controller(int id) {
  close_controller(id);
  id_gone(table, id);
  // Another device may be at its node already, its coming lost or taken
  // for this one's.
  consider(table.ids[id].device.number, true);
}
