// Which joystick id each controller holds, as pure transitions: a
// controller appeared, went, the watch lost changes and listed the nodes
// anew, a player took it. The caller opens and closes the nodes as the
// transitions say. An entry knows the device it holds itself, not only the
// number of its node: a controller re-plugged while its changes were lost
// may come back at the very number it had, and is another device there.
#pragma once

#include <cstdint>

#include "device_identity.h"

// A device at an event node, as found before it is opened.
struct NodeDevice {
  int number;          // N of eventN
  std::uint64_t rdev;  // the node's device number (dev_t)
  int instance;        // M of the kernel's inputM, new for every device; -1 if not known
  DeviceIdentity identity;
};

enum class IdState {
  free,     // never held in this run
  present,  // held by a controller that is plugged in
  absent,   // held for a controller that went away, until it comes back
};

struct IdEntry {
  IdState state;
  bool player;        // a player's controller
  NodeDevice device;  // the controller that holds or held the id; while present, its node
};

struct IdTable {
  IdEntry ids[JOYSTICK_IDS];
};

// The id for a controller that appears: among the absent ids whose
// controller it is like, one on its port before any other, then a player's,
// then the lowest; else the lowest id that nobody holds. -1 when every id
// is held.
int choose_id(const IdTable& table, const DeviceIdentity& who);

// The id present with this very device at its node, or -1: then it is not
// open yet, and may be.
int id_holding(const IdTable& table, const NodeDevice& device);

// What a transition asks of the caller.
struct IdChanges {
  int gone = -1;   // this id's controller went: its descriptor reads nothing any more
  int taken = -1;  // the device that appeared holds this id now
};

// A controller was opened at its node and found as judged. Another device
// present at that node went (gone); then the device takes its id (taken),
// present; taken -1 when the same device was present already or every id
// is held.
IdChanges id_appeared(IdTable& table, const NodeDevice& device);

// The controller of id went away: the id waits, absent, for it to come back.
void id_gone(IdTable& table, int id);

// The node with this number was removed: the id present there, now absent,
// or -1.
int id_removed_at(IdTable& table, int number);

// The watch lost changes; numbers are the nodes present now. Every
// controller whose node is not among them went: their ids, now absent, are
// put in gone. Returns how many.
int ids_relisted(IdTable& table, const int* numbers, int count, int (&gone)[JOYSTICK_IDS]);

// id is a player's controller from now on.
void id_taken_by_player(IdTable& table, int id);
