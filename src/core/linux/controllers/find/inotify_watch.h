// The inotify side of device discovery, for machines without udev
// (containers, an initramfs).
#pragma once

#include "node_change.h"

// With permissions_only, only changes of the nodes' permissions are watched.
bool inotify_watch_open(const char* dev_input, bool permissions_only);
int inotify_watch_fd();
void inotify_watch_close();
int inotify_watch_changes(NodeChange* out, int capacity, bool& lost);
