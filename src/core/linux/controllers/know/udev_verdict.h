// udev's own verdict on an event node, where udev runs.
#pragma once

#include <cstddef>

enum class UdevVerdict { joystick, not_joystick, unknown };

// ID_INPUT_JOYSTICK of eventN, and its ID_PATH (empty without one). unknown
// when udev's database has no entry for the node.
UdevVerdict udev_joystick_verdict(int number, char* id_path, std::size_t size);

// The seat eventN belongs to, as udev tags it (ID_SEAT): "seat0" without a
// tag, or where udev does not know the node.
void udev_seat_of(int number, char* seat, std::size_t size);
