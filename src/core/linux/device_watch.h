// Finding event nodes and noticing when they come, change or go: through a
// udev monitor where udev runs, through inotify on the device directory
// where it does not. Nothing here opens a device node.
#pragma once

#include "input_sysfs.h"

struct InputPaths {
  const char* dev_input;        // /dev/input
  const char* sys_class_input;  // /sys/class/input
};

struct NodeChange {
  int number;  // N of eventN
  bool removed;
};

// Starts watching paths. udev is used when it runs and paths are the
// system's own; tests that give other paths get inotify.
void watch_start(const InputPaths& paths);
void watch_stop();

// The device directory being watched.
const char* watch_dev_input();

// The changes since the last call, oldest first, without waiting; at most
// capacity, returns how many. lost is set when changes were dropped; then
// every node must be looked at again.
int watch_changes(NodeChange* out, int capacity, bool& lost);

// Calls visit for every event node present, in ascending order of N.
void watch_list(void (*visit)(int number));

struct NodeVerdict {
  bool controller;
  // False while udev runs but has no database entry for the node: the
  // capability rules decided, and udev may not have set its permissions yet.
  bool settled;
};

// Describes eventN and says whether it is a controller. Where udev has the
// node in its database, its ID_INPUT_JOYSTICK decides and its ID_PATH joins
// the identity; otherwise the capability rules decide. False when the node
// is gone.
bool watch_describe(int number, InputNode& node, NodeVerdict& verdict);
