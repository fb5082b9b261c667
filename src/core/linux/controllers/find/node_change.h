// What the two sources of device discovery (udev's monitor, inotify on the
// device directory) report, and how both name an event node.
#pragma once

struct NodeChange {
  int number;  // N of eventN
  enum Kind { appeared, removed, permissions } kind;
};

// N for a name that is prefix followed by a decimal number N, otherwise -1.
int number_after(const char* prefix, const char* name);

// N for a device node named "eventN", otherwise -1.
inline int event_node_number(const char* name) { return number_after("event", name); }
