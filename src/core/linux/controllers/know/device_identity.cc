// One rule for who a controller is: the serial number first (a device with
// one fits only a controller with the same), then the port, then the model.
#include "device_identity.h"

#include <cstring>

namespace {

bool same_model(const DeviceIdentity& a, const DeviceIdentity& b) {
  return a.bus == b.bus && a.vendor == b.vendor && a.product == b.product &&
         std::strcmp(a.name, b.name) == 0;
}

bool same_port(const DeviceIdentity& a, const DeviceIdentity& b) {
  if (a.id_path[0] != '\0' && b.id_path[0] != '\0') return std::strcmp(a.id_path, b.id_path) == 0;
  return std::strcmp(a.phys, b.phys) == 0;
}

}  // namespace

Likeness likeness(const DeviceIdentity& known, const DeviceIdentity& seen) {
  if (!same_model(known, seen) || std::strcmp(known.uniq, seen.uniq) != 0) return Likeness::other;
  return same_port(known, seen) ? Likeness::same_port : Likeness::same_model;
}
