// Every open of a file in a directory, and every listing of the directory
// itself, from the moment the watch is made: to tell which device nodes a
// program opens.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <set>
#include <string>

struct OpenWatch {
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  explicit OpenWatch(const std::string& dir) { inotify_add_watch(fd, dir.c_str(), IN_OPEN); }
  ~OpenWatch() { close(fd); }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // The names opened since the last call; "(the directory)" for a listing.
  std::multiset<std::string> opened() {
    std::multiset<std::string> names;
    alignas(inotify_event) char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        names.insert(event->len > 0 ? event->name : "(the directory)");
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return names;
  }
};
