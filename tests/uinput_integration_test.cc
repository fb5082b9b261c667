// The real Linux keyconv against a virtual joystick made through uinput: its
// key events are read back from its own virtual keyboard through evdev.
// Needs a usable /dev/uinput; skipped, with the reason, where there is none.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct VirtualJoystick {
  libevdev* dev = nullptr;
  libevdev_uinput* uinput = nullptr;
  ~VirtualJoystick() {
    if (uinput != nullptr) libevdev_uinput_destroy(uinput);
    if (dev != nullptr) libevdev_free(dev);
  }
  void emit(unsigned int type, unsigned int code, int value) {
    libevdev_uinput_write_event(uinput, type, code, value);
    libevdev_uinput_write_event(uinput, EV_SYN, SYN_REPORT, 0);
  }
};

// Reads what the program writes to its terminal until text shows up.
bool wait_for_output(int master, const std::string& text, std::string& seen) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (seen.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd ready = {master, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    char buffer[512];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) seen.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

// The program's virtual keyboard, found by name among the event nodes.
int open_program_keyboard() {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (DIR* dir = opendir("/dev/input")) {
      while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
        const std::string path = std::string("/dev/input/") + entry->d_name;
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) continue;
        char name[256] = {};
        libevdev* dev = nullptr;
        if (libevdev_new_from_fd(fd, &dev) == 0) {
          std::strncpy(name, libevdev_get_name(dev), sizeof name - 1);
          libevdev_free(dev);
        }
        if (std::strcmp(name, "keyconv virtual keyboard") == 0) {
          closedir(dir);
          return fd;
        }
        close(fd);
      }
      closedir(dir);
    }
    std::this_thread::sleep_for(50ms);
  }
  return -1;
}

// The next key event (code, value) from the keyboard, or {-1, -1}.
std::pair<int, int> next_key(int keyboard) {
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (std::chrono::steady_clock::now() < deadline) {
    input_event event;
    if (read(keyboard, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
      if (event.type == EV_KEY) return {event.code, event.value};
      continue;
    }
    pollfd ready = {keyboard, POLLIN, 0};
    poll(&ready, 1, 20);
  }
  return {-1, -1};
}

TEST(UinputIntegration, TurningTheVirtualJoystickTypesLeftShift) {
  const int probe = open("/dev/uinput", O_RDWR);
  if (probe < 0) {
    GTEST_SKIP() << "/dev/uinput cannot be opened (" << std::strerror(errno)
                 << "): the end-to-end test with a virtual joystick and keyboard needs it";
  }
  close(probe);

  VirtualJoystick joystick;
  joystick.dev = libevdev_new();
  libevdev_set_name(joystick.dev, "keyconv test joystick");
  input_absinfo x_axis = {};
  x_axis.maximum = 65535;
  libevdev_enable_event_code(joystick.dev, EV_ABS, ABS_X, &x_axis);
  libevdev_enable_event_code(joystick.dev, EV_KEY, BTN_TRIGGER, nullptr);
  ASSERT_EQ(libevdev_uinput_create_from_device(joystick.dev, LIBEVDEV_UINPUT_OPEN_MANAGED,
                                               &joystick.uinput),
            0);
  joystick.emit(EV_ABS, ABS_X, 1000);
  std::this_thread::sleep_for(500ms);  // let udev make the node

  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(KEYCONV_PROGRAM, KEYCONV_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  ASSERT_TRUE(wait_for_output(master, "1P", seen)) << seen;
  const int keyboard = open_program_keyboard();
  ASSERT_GE(keyboard, 0) << "the program's virtual keyboard did not appear";

  joystick.emit(EV_KEY, BTN_TRIGGER, 1);
  ASSERT_TRUE(wait_for_output(master, "CntrID=", seen)) << seen;
  joystick.emit(EV_KEY, BTN_TRIGGER, 0);
  ASSERT_TRUE(wait_for_output(master, "2P", seen)) << seen;
  std::this_thread::sleep_for(50ms);
  joystick.emit(EV_KEY, BTN_TRIGGER, 1);  // player 1's button skips player 2
  ASSERT_TRUE(wait_for_output(master, "CntrID=-1", seen)) << seen;
  joystick.emit(EV_KEY, BTN_TRIGGER, 0);
  ASSERT_TRUE(wait_for_output(master, "(32)", seen)) << seen;
  std::this_thread::sleep_for(100ms);

  joystick.emit(EV_ABS, ABS_X, 2000);
  EXPECT_EQ(next_key(keyboard), std::make_pair(KEY_LEFTSHIFT, 1));
  EXPECT_EQ(next_key(keyboard), std::make_pair(KEY_LEFTSHIFT, 0)) << "released after the hold";
  joystick.emit(EV_ABS, ABS_X, 1500);
  EXPECT_EQ(next_key(keyboard), std::make_pair(KEY_LEFTCTRL, 1));

  ASSERT_EQ(write(master, "q", 1), 1);  // a keystroke ends the conversion
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(next_key(keyboard), std::make_pair(KEY_LEFTCTRL, 0)) << "released at shutdown";
  close(keyboard);
  close(master);
}

}  // namespace
