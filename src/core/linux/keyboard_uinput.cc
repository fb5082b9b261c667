// The uinput virtual keyboard: four keys, each event followed by SYN_REPORT.
#if !defined(__linux__)
#error "keyboard_uinput.cc belongs to the Linux build only"
#endif

#include "keyboard_uinput.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "signals/abnormal_end.h"
#include "signals/signals_held.h"
#include "uinput_advice.h"

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
constexpr int KEY_COUNT = sizeof KEYS / sizeof KEYS[0];

// Long enough for a reader woken by the last events to read them.
constexpr long LINGER_NS = 50'000'000;

libevdev* device = nullptr;
libevdev_uinput* keyboard = nullptr;

// Shared with the signal handlers.
volatile sig_atomic_t uinput_fd = -1;
volatile sig_atomic_t held_keys = 0;  // bit i: KEYS[i] is down
volatile sig_atomic_t key_up_unread = 0;
volatile sig_atomic_t let_go_for_stop = 0;

// Says what failed and how to fix it, as this program, for the way it was
// installed.
void explain_failure(const char* path, int error, const char* what) {
  char exe[PATH_MAX] = "";
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length > 0) exe[length] = '\0';
  explain_uinput_failure(program_invocation_short_name, path, error, what,
                         installation_of(exe, "/usr"));
}

int key_index(BYTE vk) {
  for (int i = 0; i < KEY_COUNT; ++i) {
    if (KEYS[i].vk == vk) return i;
  }
  return -1;
}

// One key event and its SYN_REPORT in a single write.
bool write_key(int fd, std::uint16_t code, std::int32_t value) {
  input_event events[2] = {};
  events[0].type = EV_KEY;
  events[0].code = code;
  events[0].value = value;
  events[1].type = EV_SYN;
  events[1].code = SYN_REPORT;
  return write(fd, events, sizeof events) == static_cast<ssize_t>(sizeof events);
}

// Sends value for every held key; a failed write does not stop the others.
void write_held(std::int32_t value) {
  const int fd = uinput_fd;
  const int held = held_keys;
  if (fd < 0) return;
  for (int i = 0; i < KEY_COUNT; ++i) {
    if ((held & (1 << i)) != 0) write_key(fd, KEYS[i].code, value);
  }
}

void linger_if_unread() {
  if (key_up_unread == 0) return;
  key_up_unread = 0;
  timespec linger = {0, LINGER_NS};
  while (nanosleep(&linger, &linger) != 0 && errno == EINTR) {
  }
}

// The key-up of every key held, each with its SYN_REPORT, past a failed
// write. The keys stay known as held.
void release_held_now() {
  write_held(0);
  if (held_keys != 0) key_up_unread = 1;
}

void release_held_for_stop() {
  release_held_now();
  let_go_for_stop = 1;
}

// After a stop, or a stop the kernel refused: the keys held before it
// pressed again, so that a turn that went on keeps its key. The core never
// knew of the stop.
void press_held_after_stop() {
  if (let_go_for_stop == 0) return;
  let_go_for_stop = 0;
  write_held(1);
}

void close_keyboard_now() {
  const int fd = uinput_fd;
  if (fd < 0) return;
  linger_if_unread();
  uinput_fd = -1;
  close(fd);  // destroys the device
}

}  // namespace

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
  register_end_step(EndStep::keys,
                    {release_held_now, release_held_for_stop, press_held_after_stop});
  register_end_step(EndStep::keyboard, {close_keyboard_now, nullptr, nullptr});
  held_keys = 0;
  uinput_fd = fd;
  return true;
}

void close_keyboard() {
  const SignalsHeld held;
  if (keyboard != nullptr) {
    linger_if_unread();
    libevdev_uinput_destroy(keyboard);  // the device goes; the descriptor stays ours
    keyboard = nullptr;
  }
  close_keyboard_now();
  if (device != nullptr) libevdev_free(device);
  device = nullptr;
}

}  // namespace uinput_keyboard

void keybd_event(BYTE vk, BYTE /*scan*/, DWORD flags, ULONG_PTR /*extra_info*/) {
  using namespace uinput_keyboard;
  const int index = key_index(vk);
  if (keyboard == nullptr || index < 0) return;
  const bool up = (flags & KEYEVENTF_KEYUP) != 0;
  // Signals wait while the key and what is known of it change.
  key_write_begins();
  if (write_key(uinput_fd, KEYS[index].code, up ? 0 : 1) && up) key_up_unread = 1;
  held_keys = up ? held_keys & ~(1 << index) : held_keys | (1 << index);
  key_write_ends();
}
