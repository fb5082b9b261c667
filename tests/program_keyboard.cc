#include "program_keyboard.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double monotonic_ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void PrintTo(const KeyEvent& event, std::ostream* out) {
  const char* name = libevdev_event_code_get_name(EV_KEY, event.code);
  *out << (name != nullptr ? name : "KEY_?") << (event.value != 0 ? " down" : " up");
}

KeyEvents& operator+=(KeyEvents& events, const KeyEvents& more) {
  events.insert(events.end(), more.begin(), more.end());
  return events;
}

ProgramKeyboard::~ProgramKeyboard() {
  if (fd >= 0) close(fd);
}

bool ProgramKeyboard::open_when_there(std::chrono::milliseconds timeout) {
  // Found by its name in sysfs: the test opens no other node.
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (DIR* dir = opendir("/sys/class/input")) {
      while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
        std::ifstream name_file(std::string("/sys/class/input/") + entry->d_name + "/device/name");
        std::string name;
        std::getline(name_file, name);
        if (name != "keyconv virtual keyboard") continue;
        const std::string path = std::string("/dev/input/") + entry->d_name;
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        closedir(dir);
        int clock = CLOCK_MONOTONIC;
        ioctl(fd, EVIOCSCLOCKID, &clock);
        return true;
      }
      closedir(dir);
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

KeyEvent ProgramKeyboard::next(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  KeyEvent pending = {0, 0, 0};
  while (!gone_ && Clock::now() < deadline) {
    input_event event;
    const ssize_t got = read(fd, &event, sizeof event);
    if (got == static_cast<ssize_t>(sizeof event)) {
      if (event.type == EV_KEY) {
        if (pending.code != 0) ADD_FAILURE() << "a key event without SYN_REPORT";
        pending = {event.code, event.value,
                   static_cast<double>(event.input_event_sec) * 1e3 +
                       static_cast<double>(event.input_event_usec) / 1e3};
      } else if (event.type == EV_SYN && event.code == SYN_REPORT && pending.code != 0) {
        return pending;
      }
      continue;
    }
    gone_ = got < 0 && errno == ENODEV;
    pollfd ready = {fd, POLLIN, 0};
    if (!gone_) poll(&ready, 1, 5);
  }
  return {0, 0, 0};
}

KeyEvents ProgramKeyboard::until_gone(std::chrono::milliseconds timeout) {
  KeyEvents events;
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const KeyEvent event =
        next(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (gone_) return events;
    if (event.code != 0) events.push_back(event);
  }
  ADD_FAILURE() << "the program's keyboard did not go away";
  return events;
}

KeyEvents ProgramKeyboard::until_quiet(std::chrono::milliseconds quiet) {
  KeyEvents events;
  for (;;) {
    const KeyEvent event = next(quiet);
    if (event.code == 0) return events;
    events.push_back(event);
  }
}

std::vector<unsigned int> ProgramKeyboard::held() const {
  unsigned char keys[KEY_MAX / 8 + 1] = {};
  std::vector<unsigned int> down_now;
  if (ioctl(fd, EVIOCGKEY(sizeof keys), keys) < 0) return {0xFFFF};
  for (unsigned int code = 0; code <= KEY_MAX; ++code) {
    if ((keys[code / 8] >> (code % 8)) & 1) down_now.push_back(code);
  }
  return down_now;
}
