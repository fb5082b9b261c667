// Device discovery through inotify on the device directory: IN_CREATE for a
// new node, IN_ATTRIB for a node whose permissions changed after it
// appeared, IN_DELETE for a node that went away. Where udev runs, only
// IN_ATTRIB: logind changes a node's permissions without a udev event.
#if !defined(__linux__)
#error "inotify_watch.cc belongs to the Linux build only"
#endif

#include "inotify_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

int inotify_fd = -1;
int dir_watch = -1;
// The parent is watched throughout for the directory to be made or moved
// there anew, as a container makes /dev anew. The old directory reports
// its own removal only once nothing holds it any more, and a node open in
// it (a controller keyconv reads) holds it.
int parent_watch = -1;
const char* watched_dir = nullptr;
char parent_dir[PATH_MAX];
char dir_name[64];

std::uint32_t node_events = IN_CREATE | IN_ATTRIB | IN_DELETE;

// Watches the directory at its path, whichever it is now: true when that
// is another one than was watched (then every node must be looked at).
bool follow_dir() {
  const int watch = inotify_add_watch(inotify_fd, watched_dir, node_events | IN_DELETE_SELF);
  if (watch < 0 || watch == dir_watch) return false;
  if (dir_watch >= 0) inotify_rm_watch(inotify_fd, dir_watch);
  dir_watch = watch;
  return true;
}

}  // namespace

bool inotify_watch_open(const char* dev_input, bool permissions_only) {
  inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_fd < 0) return false;
  watched_dir = dev_input;
  node_events = permissions_only ? IN_ATTRIB : IN_CREATE | IN_ATTRIB | IN_DELETE;
  std::strncpy(parent_dir, dev_input, sizeof parent_dir - 1);
  parent_dir[sizeof parent_dir - 1] = '\0';
  char* slash = std::strrchr(parent_dir, '/');
  if (slash != nullptr && slash != parent_dir) {
    *slash = '\0';
    std::strncpy(dir_name, slash + 1, sizeof dir_name - 1);
    // First the parent: a directory made meanwhile is then reported.
    parent_watch = inotify_add_watch(inotify_fd, parent_dir, IN_CREATE | IN_MOVED_TO);
  }
  follow_dir();
  if (dir_watch >= 0 || parent_watch >= 0) return true;
  inotify_watch_close();
  return false;
}

int inotify_watch_fd() { return inotify_fd; }

void inotify_watch_close() {
  if (inotify_fd >= 0) close(inotify_fd);
  inotify_fd = dir_watch = parent_watch = -1;
  parent_dir[0] = '\0';
}

int inotify_watch_changes(NodeChange* out, int capacity, bool& lost) {
  int count = 0;
  alignas(inotify_event) char buffer[4096];
  while (count < capacity) {
    const ssize_t got = read(inotify_fd, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if ((event->mask & IN_Q_OVERFLOW) != 0) lost = true;
      if (event->wd == parent_watch && event->len > 0 && std::strcmp(event->name, dir_name) == 0) {
        // The directory came anew, with its first nodes already in it.
        if (follow_dir()) lost = true;
      } else if (event->wd == dir_watch && (event->mask & IN_DELETE_SELF) != 0) {
        dir_watch = -1;
        if (follow_dir()) lost = true;  // it may be back already
      } else if (event->wd == dir_watch && event->len > 0) {
        const int number = event_node_number(event->name);
        // Events past capacity are dropped, so say so.
        if (number >= 0 && count == capacity) lost = true;
        if (number >= 0 && count < capacity) {
          out[count++] = {number, (event->mask & IN_DELETE) != 0   ? NodeChange::removed
                                  : (event->mask & IN_CREATE) != 0 ? NodeChange::appeared
                                                                   : NodeChange::permissions};
        }
      }
    }
  }
  return count;
}
