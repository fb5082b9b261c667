// Choosing a controller's id among the sixteen: the old one, or a free one.
#include "controller_ids.h"

int choose_id(const IdHolder (&holders)[JOYSTICK_IDS], const DeviceIdentity& who) {
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    if (holders[id].state == IdState::absent && same_device(holders[id].identity, who)) return id;
  }
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    if (holders[id].state == IdState::free) return id;
  }
  return -1;
}
