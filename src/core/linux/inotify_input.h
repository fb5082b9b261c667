// The inotify side of device discovery, for machines without udev
// (containers, an initramfs).
#pragma once

#include "device_watch.h"

bool inotify_watch_open(const char* dev_input);
void inotify_watch_close();
int inotify_watch_changes(NodeChange* out, int capacity, bool& lost);
