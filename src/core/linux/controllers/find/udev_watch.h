// The udev side of device discovery: a monitor of the input subsystem.
#pragma once

#include "node_change.h"

// True when a udev daemon runs on this machine.
bool udev_running();

bool udev_watch_open();
int udev_watch_fd();
void udev_watch_close();
int udev_watch_changes(NodeChange* out, int capacity, bool& lost);
