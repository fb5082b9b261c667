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
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "controllers/find/udev_watch.h"
#include "signals/abnormal_end.h"
#include "signals/signals_held.h"
#include "signals/undo_list.h"
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

// Long enough for a reader woken by the last key-up to read it.
constexpr std::int64_t LINGER_NS = 50'000'000;

libevdev* device = nullptr;
libevdev_uinput* keyboard = nullptr;

// Shared with the signal handlers.
volatile sig_atomic_t uinput_fd = -1;
// When the last key-up was written; 0: none since the keyboard was made.
std::atomic<std::int64_t> key_up_written_ns = 0;
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "read by the signal handlers");

std::int64_t now_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Says what failed and how to fix it, as this program, for the way it was
// installed.
void explain_failure(const char* path, int error, const char* what) {
  char exe[PATH_MAX] = "";
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length > 0) exe[length] = '\0';
  uid_t active_uid = 0;
  const RefusalCause cause =
      refusal_cause(udev_running(), "/run/systemd", "seat0", getuid(), active_uid);
  explain_uinput_failure(program_invocation_short_name, path, error, what,
                         installation_of(exe, "/usr"), cause);
}

int key_index(BYTE vk) {
  for (int i = 0; i < KEY_COUNT; ++i) {
    if (KEYS[i].vk == vk) return i;
  }
  return -1;
}

// One key event and its SYN_REPORT in a single write. Async-signal-safe.
bool write_key(int fd, int code, std::int32_t value) {
  input_event events[2] = {};
  events[0].type = EV_KEY;
  events[0].code = static_cast<std::uint16_t>(code);
  events[0].value = value;
  events[1].type = EV_SYN;
  events[1].code = SYN_REPORT;
  return write(fd, events, sizeof events) == static_cast<ssize_t>(sizeof events);
}

// A held key's change undone: its key-up, at the end and before a stop.
void key_up(int fd, int code) {
  if (write_key(fd, code, 0)) key_up_written_ns = now_ns();
}

// Pressed again after a stop, so that a turn that went on keeps its key:
// the core never knew of the stop.
void key_down(int fd, int code) { write_key(fd, code, 1); }

// A reader woken by the last key-up reads it before the keyboard goes: a
// node that goes away takes its unread events with it.
void linger_after_key_up() {
  const std::int64_t written = key_up_written_ns;
  if (written == 0) return;
  const std::int64_t left = written + LINGER_NS - now_ns();
  if (left <= 0) return;
  timespec linger = {0, static_cast<long>(left)};
  while (nanosleep(&linger, &linger) != 0 && errno == EINTR) {
  }
}

void close_keyboard_now() {
  const int fd = uinput_fd;
  if (fd < 0) return;
  linger_after_key_up();
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
  set_change_actions(Change::key, {key_up, ChangeActions::AtStop::redo, key_down});
  set_end_step(close_keyboard_now);
  key_up_written_ns = 0;
  uinput_fd = fd;
  return true;
}

void close_keyboard() {
  const SignalsHeld held;
  // Nothing is held at an orderly end; a signal after it must find no
  // record of the keyboard's descriptor.
  for (int index = 0; index < KEY_COUNT; ++index) undo_change(Change::key, index);
  if (keyboard != nullptr) {
    linger_after_key_up();
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
  // A signal at any point finds the key recorded from before its press
  // until after its release, and lets it go.
  if ((flags & KEYEVENTF_KEYUP) != 0) {
    undo_change(Change::key, index);
  } else {
    record_change(Change::key, index, uinput_fd, KEYS[index].code);
    key_down(uinput_fd, KEYS[index].code);
  }
}
