// What the two sources of device discovery (udev's monitor, inotify on the
// device directory) report, and how both name an event node.
#pragma once

struct NodeChange {
  int number;  // N of eventN
  enum Kind { appeared, removed, permissions } kind;
};

// N for a device node named "eventN", otherwise -1.
int event_node_number(const char* name);
