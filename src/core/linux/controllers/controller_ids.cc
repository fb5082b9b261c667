// Choosing a controller's id among the sixteen: the old one, or a free one.
#include "controller_ids.h"

#include <cstring>
#include <initializer_list>

bool same_device(const DeviceIdentity& a, const DeviceIdentity& b) {
  if (a.id_path[0] != '\0' && b.id_path[0] != '\0') return std::strcmp(a.id_path, b.id_path) == 0;
  return a.bus == b.bus && a.vendor == b.vendor && a.product == b.product &&
         std::strcmp(a.phys, b.phys) == 0 && std::strcmp(a.uniq, b.uniq) == 0;
}

bool same_model(const DeviceIdentity& a, const DeviceIdentity& b) {
  return a.bus == b.bus && a.vendor == b.vendor && a.product == b.product &&
         std::strcmp(a.name, b.name) == 0 && std::strcmp(a.uniq, b.uniq) == 0;
}

int choose_id(const IdHolder (&holders)[JOYSTICK_IDS], const DeviceIdentity& who) {
  for (bool (*same)(const DeviceIdentity&, const DeviceIdentity&) : {same_device, same_model}) {
    for (int id = 0; id < JOYSTICK_IDS; ++id) {
      if (holders[id].state == IdState::absent && same(holders[id].identity, who)) return id;
    }
  }
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    if (holders[id].state == IdState::free) return id;
  }
  return -1;
}
