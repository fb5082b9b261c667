// Which joystick id a controller gets: the same one again when it comes
// back, so that players never swap on a re-plug.
#pragma once

#include "input_sysfs.h"

constexpr int JOYSTICK_IDS = 16;  // as many ids as Windows offers

enum class IdState {
  free,     // never held in this run
  present,  // held by a controller that is plugged in
  absent,   // held for a controller that went away, until it comes back
};

struct IdHolder {
  IdState state;
  DeviceIdentity identity;
};

// The same physical device: by ID_PATH when both have one, otherwise by all
// of bus, vendor, product, phys and uniq.
bool same_device(const DeviceIdentity& a, const DeviceIdentity& b);

// The same model, wherever it is plugged in: bus, vendor, product, name and
// uniq (a serial number, where the device has one).
bool same_model(const DeviceIdentity& a, const DeviceIdentity& b);

// The id for a controller that appears: the id it held before when it was
// unplugged into the same port; else the lowest absent id of the same
// model, so that a controller plugged back into another port keeps its
// player; else the lowest id that nobody holds. -1 when every id is held.
int choose_id(const IdHolder (&holders)[JOYSTICK_IDS], const DeviceIdentity& who);
