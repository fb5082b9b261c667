// What sysfs tells about an event node without opening it: capabilities,
// name and the identity a controller keeps across re-plugs.
#pragma once

#include <cstdint>

#include "device_class.h"

// Who a device is: its udev ID_PATH where udev gives one, and always its bus,
// vendor, product, phys and uniq.
struct DeviceIdentity {
  char id_path[128];
  std::uint16_t bus;
  std::uint16_t vendor;
  std::uint16_t product;
  char phys[64];
  char uniq[64];
};

// The same physical device: by ID_PATH when both have one, otherwise by all
// of bus, vendor, product, phys and uniq.
bool same_device(const DeviceIdentity& a, const DeviceIdentity& b);

struct InputNode {
  int number;  // N of /dev/input/eventN
  DeviceCaps caps;
  DeviceIdentity identity;
  char name[80];
};

// Reads eventN's capabilities, name and identity from sys_class_input
// (/sys/class/input). False when the node is gone or unreadable.
bool read_input_node(const char* sys_class_input, int number, InputNode& node);

// N for a device node named "eventN", otherwise -1.
int event_node_number(const char* name);
