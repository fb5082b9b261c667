#if !defined(__linux__)
#error "keyboard_uinput.cc belongs to the Linux build only"
#endif

#include "keyboard_uinput.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace uinput_keyboard {
namespace {

struct KeyMapping {
  BYTE vk;
  std::uint16_t code;
};

constexpr KeyMapping KEYS[] = {
    {VK_LSHIFT, KEY_LEFTSHIFT},
    {VK_LCONTROL, KEY_LEFTCTRL},
    {VK_RSHIFT, KEY_RIGHTSHIFT},
    {VK_RCONTROL, KEY_RIGHTCTRL},
};

libevdev* device = nullptr;
libevdev_uinput* keyboard = nullptr;
volatile int uinput_fd = -1;

void explain_failure(const char* path, int error, const char* what) {
  std::fprintf(stderr, "keyconv: cannot %s %s: %s. keyconv cannot type without it.\n", what, path,
               std::strerror(error));
  if (error == ENOENT || error == ENODEV) {
    std::fprintf(stderr,
                 "keyconv: load the uinput module:        sudo modprobe uinput\n"
                 "keyconv: and to load it at every boot:  "
                 "echo uinput | sudo tee /etc/modules-load.d/uinput.conf\n");
  } else if (error == EACCES || error == EPERM) {
    std::fprintf(stderr,
                 "keyconv: give the logged-in user access with the udev rule "
                 "60-keyconv-uinput.rules\n"
                 "keyconv: (installed by the keyconv package or 'cmake --install' into "
                 "lib/udev/rules.d; in the sources: packaging/):\n"
                 "keyconv:   sudo cp packaging/60-keyconv-uinput.rules /etc/udev/rules.d/\n"
                 "keyconv:   sudo udevadm control --reload && sudo udevadm trigger "
                 "--name-match=uinput\n"
                 "keyconv: then log out and in again. Do not run keyconv as root.\n");
  }
}

}  // namespace

int events_for(BYTE vk, DWORD flags, KeyEvent out[2]) {
  for (const KeyMapping& key : KEYS) {
    if (key.vk != vk) continue;
    // KEYEVENTF_EXTENDEDKEY has no counterpart: evdev codes are distinct.
    const std::int32_t value = (flags & KEYEVENTF_KEYUP) != 0 ? 0 : 1;
    out[0] = {EV_KEY, key.code, value};
    out[1] = {EV_SYN, SYN_REPORT, 0};
    return 2;
  }
  return 0;
}

bool open_keyboard(const char* uinput_path) {
  const int fd = open(uinput_path, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    explain_failure(uinput_path, errno, "open");
    return false;
  }
  device = libevdev_new();
  libevdev_set_name(device, "keyconv virtual keyboard");
  libevdev_enable_event_type(device, EV_KEY);
  for (const KeyMapping& key : KEYS) libevdev_enable_event_code(device, EV_KEY, key.code, nullptr);
  const int rc = libevdev_uinput_create_from_device(device, fd, &keyboard);
  if (rc != 0) {
    explain_failure(uinput_path, -rc, "create a virtual keyboard through");
    libevdev_free(device);
    device = nullptr;
    close(fd);
    return false;
  }
  uinput_fd = fd;
  return true;
}

void release_all_now() {
  const int fd = uinput_fd;
  if (fd < 0) return;
  for (const KeyMapping& key : KEYS) {
    input_event events[2] = {};
    events[0].type = EV_KEY;
    events[0].code = key.code;
    events[0].value = 0;
    events[1].type = EV_SYN;
    events[1].code = SYN_REPORT;
    if (write(fd, events, sizeof events) < 0) return;
  }
}

void close_keyboard_now() {
  // Closing the uinput descriptor destroys the device, and the kernel sends
  // the key-up of every key it still held: no key stays down.
  if (uinput_fd >= 0) close(uinput_fd);
  uinput_fd = -1;
}

void close_keyboard() {
  if (keyboard != nullptr) libevdev_uinput_destroy(keyboard);
  keyboard = nullptr;
  close_keyboard_now();
  if (device != nullptr) libevdev_free(device);
  device = nullptr;
}

}  // namespace uinput_keyboard

void keybd_event(BYTE vk, BYTE /*scan*/, DWORD flags, ULONG_PTR /*extra_info*/) {
  using namespace uinput_keyboard;
  if (keyboard == nullptr) return;
  KeyEvent events[2];
  const int count = events_for(vk, flags, events);
  for (int i = 0; i < count; ++i) {
    libevdev_uinput_write_event(keyboard, events[i].type, events[i].code, events[i].value);
  }
}
