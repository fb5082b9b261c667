#if !defined(__linux__)
#error "joystick_evdev.cc belongs to the Linux build only"
#endif

#include "joystick_evdev.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <libevdev/libevdev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "../platform.h"

namespace evdev_joystick {
namespace {

constexpr int MAX_NODES = 256;
// Probing 16 ids every few milliseconds must stay cheap, so the directory is
// looked at again for new devices at most this often.
constexpr long RESCAN_INTERVAL_NS = 2'000'000'000L;

struct Joystick {
  int fd = -1;
  libevdev* dev = nullptr;
  int node = -1;
  int x_min = 0;
  int x_max = 0;
  int button_count = 0;
  std::uint16_t buttons[MAX_BUTTONS] = {};
};

Joystick joysticks[JOYSTICK_IDS];
const char* input_dir = "/dev/input";
timespec last_scan = {};
bool scanned = false;
bool permission_reported = false;

long ns_since(const timespec& then, const timespec& now) {
  return (now.tv_sec - then.tv_sec) * 1'000'000'000L + (now.tv_nsec - then.tv_nsec);
}

void release(Joystick& joystick) {
  if (joystick.dev != nullptr) libevdev_free(joystick.dev);
  if (joystick.fd >= 0) close(joystick.fd);
  joystick = Joystick{};
}

bool node_in_use(int node) {
  return std::any_of(std::begin(joysticks), std::end(joysticks),
                     [node](const Joystick& j) { return j.dev != nullptr && j.node == node; });
}

void report_permission(const char* path, int error) {
  if (permission_reported) return;
  permission_reported = true;
  struct stat info;
  const group* owner = stat(path, &info) == 0 ? getgrgid(info.st_gid) : nullptr;
  const char* group_name = owner != nullptr ? owner->gr_name : "input";
  std::fprintf(stderr,
               "keyconv: cannot open %s: %s. Controllers on such devices are not seen.\n"
               "keyconv: add your user to the group '%s' (sudo usermod -aG %s \"$USER\"), "
               "then log out and in again.\n",
               path, std::strerror(error), group_name, group_name);
}

// Opens node and, when it is a joystick, puts it in the lowest free id.
void try_open(int node) {
  Joystick* slot = std::find_if(std::begin(joysticks), std::end(joysticks),
                                [](const Joystick& j) { return j.dev == nullptr; });
  if (slot == std::end(joysticks)) return;

  char path[64];
  std::snprintf(path, sizeof path, "%s/event%d", input_dir, node);
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == EACCES || error == EPERM) report_permission(path, error);
    return;
  }
  libevdev* dev = nullptr;
  if (libevdev_new_from_fd(fd, &dev) != 0 || !is_joystick(dev)) {
    if (dev != nullptr) libevdev_free(dev);
    close(fd);
    return;
  }
  slot->fd = fd;
  slot->dev = dev;
  slot->node = node;
  slot->x_min = libevdev_get_abs_minimum(dev, ABS_X);
  slot->x_max = libevdev_get_abs_maximum(dev, ABS_X);
  slot->button_count = button_codes(dev, slot->buttons);
}

// Fills free ids with new joysticks, in the numeric order of their nodes.
void scan() {
  DIR* dir = opendir(input_dir);
  if (dir == nullptr) return;
  int nodes[MAX_NODES];
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    const int node = event_node_number(entry->d_name);
    if (node >= 0 && count < MAX_NODES && !node_in_use(node)) nodes[count++] = node;
  }
  closedir(dir);
  std::sort(nodes, nodes + count);
  for (int i = 0; i < count; ++i) try_open(nodes[i]);
}

void rescan_if_due() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (scanned && ns_since(last_scan, now) < RESCAN_INTERVAL_NS) return;
  scanned = true;
  last_scan = now;
  scan();
}

// Takes in every pending event, so the device's state is current. False
// when the device has gone away.
bool drain(libevdev* dev) {
  unsigned int flag = LIBEVDEV_READ_FLAG_NORMAL;
  for (;;) {
    input_event event;
    const int rc = libevdev_next_event(dev, flag, &event);
    if (rc == LIBEVDEV_READ_STATUS_SYNC) {
      flag = LIBEVDEV_READ_FLAG_SYNC;  // events were dropped: catch up
    } else if (rc == -EAGAIN) {
      if (flag == LIBEVDEV_READ_FLAG_NORMAL) return true;
      flag = LIBEVDEV_READ_FLAG_NORMAL;  // caught up; read what came since
    } else if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
      return false;
    }
  }
}

}  // namespace

std::uint32_t scale_axis(int value, int minimum, int maximum) {
  if (maximum <= minimum || value <= minimum) return 0;
  if (value >= maximum) return 65535;
  const long long range = static_cast<long long>(maximum) - minimum;
  const long long offset = static_cast<long long>(value) - minimum;
  return static_cast<std::uint32_t>((offset * 65535 + range / 2) / range);
}

int event_node_number(const char* name) {
  if (std::strncmp(name, "event", 5) != 0 || name[5] == '\0') return -1;
  int number = 0;
  for (const char* digit = name + 5; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || number > 99999) return -1;
    number = number * 10 + (*digit - '0');
  }
  return number;
}

bool is_joystick(const libevdev* dev) {
  if (!libevdev_has_event_code(dev, EV_ABS, ABS_X)) return false;
  for (unsigned int code = BTN_MISC; code <= KEY_MAX; ++code) {
    if (libevdev_has_event_code(dev, EV_KEY, code)) return true;
  }
  return false;
}

int button_codes(const libevdev* dev, std::uint16_t codes[MAX_BUTTONS]) {
  int count = 0;
  for (unsigned int code = BTN_MISC; code <= KEY_MAX && count < MAX_BUTTONS; ++code) {
    if (libevdev_has_event_code(dev, EV_KEY, code))
      codes[count++] = static_cast<std::uint16_t>(code);
  }
  return count;
}

std::uint32_t button_mask(const libevdev* dev, const std::uint16_t* codes, int count) {
  std::uint32_t mask = 0;
  for (int i = 0; i < count; ++i) {
    if (libevdev_get_event_value(dev, EV_KEY, codes[i]) != 0) mask |= 1u << i;
  }
  return mask;
}

void set_input_dir(const char* dir) {
  close_all();
  input_dir = dir;
  scanned = false;
}

void close_all() {
  for (Joystick& joystick : joysticks) release(joystick);
}

}  // namespace evdev_joystick

UINT joyGetNumDevs() { return evdev_joystick::JOYSTICK_IDS; }

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  using namespace evdev_joystick;
  if (id >= JOYSTICK_IDS) return JOYERR_PARMS;
  Joystick& joystick = joysticks[id];
  if (joystick.dev == nullptr) {
    rescan_if_due();
    if (joystick.dev == nullptr) return JOYERR_PARMS;
  }
  if (!drain(joystick.dev)) {
    release(joystick);  // unplugged: the id is free for the next device
    return JOYERR_UNPLUGGED;
  }
  info->dwXpos = scale_axis(libevdev_get_event_value(joystick.dev, EV_ABS, ABS_X), joystick.x_min,
                            joystick.x_max);
  info->dwButtons = button_mask(joystick.dev, joystick.buttons, joystick.button_count);
  return JOYERR_NOERROR;
}
