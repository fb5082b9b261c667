// Finding event nodes and noticing when they come, change or go: through a
// udev monitor where udev runs, through inotify on the device directory
// where it does not (and for changed permissions, where it does). Nothing
// here opens a device node.
#pragma once

struct InputPaths {
  const char* dev_input;        // /dev/input
  const char* sys_class_input;  // /sys/class/input
};

constexpr InputPaths SYSTEM_INPUT_PATHS = {"/dev/input", "/sys/class/input"};

struct NodeChange {
  int number;  // N of eventN
  enum Kind { appeared, removed, permissions } kind;
};

// Starts watching paths. udev is used when it runs and paths are the
// system's own; tests that give other paths get inotify.
void watch_start(const InputPaths& paths);
void watch_stop();

// The paths being watched.
const InputPaths& watch_paths();

// True while udev's monitor brings the changes (and udev's database can say
// what a node is).
bool watch_uses_udev();

// The changes since the last call, oldest first, without waiting; at most
// capacity, returns how many. lost is set when changes were dropped; then
// every node must be looked at again.
int watch_changes(NodeChange* out, int capacity, bool& lost);

// The descriptors that become readable when something changed, -1 for
// none: udev's monitor, and inotify on the device directory.
void watch_fds(int (&fds)[2]);

// Calls visit for every event node present, in ascending order of N.
void watch_list(void (*visit)(int number));
