// The udev side of device discovery: a monitor of the input subsystem and
// udev's own verdict on a node.
#pragma once

#include <cstddef>

#include "device_watch.h"

// True when a udev daemon runs on this machine.
bool udev_running();

bool udev_watch_open();
int udev_watch_fd();
void udev_watch_close();
int udev_watch_changes(NodeChange* out, int capacity, bool& lost);

enum class UdevVerdict { joystick, not_joystick, unknown };

// ID_INPUT_JOYSTICK of eventN, and its ID_PATH (empty without one). unknown
// when udev's database has no entry for the node.
UdevVerdict udev_joystick_verdict(int number, char* id_path, std::size_t size);
