// Finding event nodes and noticing when they come, change or go: through a
// udev monitor where udev runs, through inotify on the device directory
// where it does not (and for changed permissions, where it does). The first
// of the three steps of the controllers (find, know, read): nothing here
// opens a device node or judges what it is.
#pragma once

#include "node_change.h"

struct InputPaths {
  const char* dev_input;        // /dev/input
  const char* sys_class_input;  // /sys/class/input
};

constexpr InputPaths SYSTEM_INPUT_PATHS = {"/dev/input", "/sys/class/input"};

// Starts watching paths. udev is used when it runs and paths are the
// system's own; tests that give other paths get inotify.
void watch_start(const InputPaths& paths);
void watch_stop();

// The paths being watched.
const InputPaths& watch_paths();

// True while udev's monitor brings the changes (and udev's database can say
// what a node is).
bool watch_uses_udev();

// Whether changes wait to be taken, without taking them and without
// waiting: one system call.
bool watch_pending();

// The changes since the last call, oldest first, without waiting; at most
// capacity, returns how many. lost is set when changes were dropped, or the
// device directory was made anew; then every node must be looked at again.
int watch_changes(NodeChange* out, int capacity, bool& lost);

// The descriptors that become readable when something changed, -1 for
// none: udev's monitor, and inotify on the device directory.
void watch_fds(int (&fds)[2]);

// The numbers of the event nodes present, ascending; how many, or -1 when
// the device directory cannot be read (it may be being made anew).
constexpr int MOST_NODES = 512;
int watch_list(int (&numbers)[MOST_NODES]);
