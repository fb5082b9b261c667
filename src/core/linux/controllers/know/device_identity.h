// Who a controller is: one rule, for the id table (id_table.h), for the
// check that a node holds the device judged there, and for a controller
// that comes back. Pure functions.
#pragma once

#include <cstdint>

constexpr int JOYSTICK_IDS = 16;  // as many ids as Windows offers

// Who a device is: its udev ID_PATH where udev gives one, and always its
// bus, vendor, product, name, phys and uniq (a serial number, empty on most
// devices).
struct DeviceIdentity {
  char id_path[128];
  std::uint16_t bus;
  std::uint16_t vendor;
  std::uint16_t product;
  char phys[64];
  char uniq[64];
  char name[80];
};

// How a device seen now fits one known before. Another model (bus, vendor,
// product, name) or another serial number is another device; among the
// rest, one on the same port (ID_PATH where both have one, phys otherwise)
// fits better than one elsewhere.
enum class Likeness { other, same_model, same_port };
Likeness likeness(const DeviceIdentity& known, const DeviceIdentity& seen);
