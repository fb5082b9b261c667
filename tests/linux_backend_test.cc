// The Linux platform layer: evdev joysticks, the uinput key mapping, the
// terminal keystroke check and the signal path, tested without real devices.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "../src/core/linux/console_tty.h"
#include "../src/core/linux/joystick_evdev.h"
#include "../src/core/linux/keyboard_uinput.h"
#include "../src/core/linux/signals.h"

namespace {

using namespace evdev_joystick;

TEST(EvdevJoystick, ScalesTheAxisOntoTheWindowsRange) {
  const struct {
    int value, minimum, maximum;
    std::uint32_t expected;
  } cases[] = {
      {0, 0, 255, 0},
      {255, 0, 255, 65535},
      {128, 0, 255, 32896},
      {1, 0, 2, 32768},
      {-32768, -32768, 32767, 0},
      {0, -32768, 32767, 32768},
      {32767, -32768, 32767, 65535},
      {-5, 0, 255, 0},
      {300, 0, 255, 65535},
      {7, 7, 7, 0},
      {0, 0, 65535, 0},
      {40000, 0, 65535, 40000},
      {2147483647, -2147483647 - 1, 2147483647, 65535},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scale_axis(c.value, c.minimum, c.maximum), c.expected)
        << c.value << " in " << c.minimum << ".." << c.maximum;
  }
}

TEST(EvdevJoystick, ReadsEventNodeNumbers) {
  const struct {
    const char* name;
    int expected;
  } cases[] = {{"event0", 0}, {"event9", 9}, {"event10", 10}, {"event", -1},
               {"js0", -1},   {"mice", -1},  {"event1a", -1}, {"by-id", -1}};
  for (const auto& c : cases) EXPECT_EQ(event_node_number(c.name), c.expected) << c.name;
}

struct Device {
  libevdev* dev = libevdev_new();
  ~Device() { libevdev_free(dev); }
  void abs_x() {
    input_absinfo info = {};
    info.maximum = 255;
    libevdev_enable_event_code(dev, EV_ABS, ABS_X, &info);
  }
  void key(unsigned int code) { libevdev_enable_event_code(dev, EV_KEY, code, nullptr); }
};

TEST(EvdevJoystick, AJoystickNeedsAnXAxisAndAJoystickButton) {
  Device rotary;  // no Y axis
  rotary.abs_x();
  rotary.key(BTN_0);
  EXPECT_TRUE(is_joystick(rotary.dev));

  Device keyboard_with_x;
  keyboard_with_x.abs_x();
  keyboard_with_x.key(KEY_A);
  keyboard_with_x.key(KEY_LEFTSHIFT);
  EXPECT_FALSE(is_joystick(keyboard_with_x.dev));

  Device pad_without_x;
  pad_without_x.key(BTN_SOUTH);
  EXPECT_FALSE(is_joystick(pad_without_x.dev));
}

TEST(EvdevJoystick, ButtonBitsFollowTheOrderOfButtonCodes) {
  Device pad;
  pad.abs_x();
  for (int code : {BTN_SOUTH, BTN_THUMB, BTN_TRIGGER, BTN_0, KEY_A}) {
    pad.key(static_cast<unsigned int>(code));
  }
  std::uint16_t codes[MAX_BUTTONS];
  const int count = button_codes(pad.dev, codes);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(codes[0], BTN_0);
  EXPECT_EQ(codes[1], BTN_TRIGGER);
  EXPECT_EQ(codes[2], BTN_THUMB);
  EXPECT_EQ(codes[3], BTN_SOUTH);
  EXPECT_EQ(button_mask(pad.dev, codes, count), 0u);
  libevdev_set_event_value(pad.dev, EV_KEY, BTN_THUMB, 1);
  libevdev_set_event_value(pad.dev, EV_KEY, BTN_SOUTH, 1);
  libevdev_set_event_value(pad.dev, EV_KEY, KEY_A, 1);
  EXPECT_EQ(button_mask(pad.dev, codes, count), 0b1100u);
}

TEST(EvdevJoystick, EmptyIdsAnswerJoyerrParms) {
  char dir[] = "/tmp/keyconv-input-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  // A node that is no event device is passed over.
  const std::string not_a_device = std::string(dir) + "/event3";
  close(open(not_a_device.c_str(), O_CREAT | O_WRONLY, 0644));
  set_input_dir(dir);
  JOYINFOEX info = {};
  EXPECT_EQ(joyGetNumDevs(), 16u);
  for (UINT id : {0u, 3u, 15u, 16u, 1000u}) EXPECT_EQ(joyGetPosEx(id, &info), JOYERR_PARMS) << id;
  set_input_dir("/dev/input");
  unlink(not_a_device.c_str());
  rmdir(dir);
}

TEST(EvdevJoystick, ADeniedDeviceIsNamedOnceWithTheGroupToJoin) {
  char dir[] = "/tmp/keyconv-input-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  // A node this user may not open: a file without permissions, or for root
  // (who ignores those) a write-only sysfs file.
  const std::string node = std::string(dir) + "/event7";
  close(open(node.c_str(), O_CREAT | O_WRONLY, 0));
  if (const int probe = open(node.c_str(), O_RDONLY); probe >= 0) {
    close(probe);
    unlink(node.c_str());
    ASSERT_EQ(symlink("/sys/bus/cpu/uevent", node.c_str()), 0);
  }
  if (const int probe = open(node.c_str(), O_RDONLY); probe >= 0 || errno != EACCES) {
    if (probe >= 0) close(probe);
    unlink(node.c_str());
    rmdir(dir);
    GTEST_SKIP() << "no file here refuses this user with EACCES";
  }
  JOYINFOEX info = {};
  testing::internal::CaptureStderr();
  set_input_dir(dir);
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS);
  set_input_dir(dir);  // a second look at the same directory
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS);
  const std::string said = testing::internal::GetCapturedStderr();
  set_input_dir("/dev/input");
  unlink(node.c_str());
  rmdir(dir);
  EXPECT_NE(said.find("cannot open " + node + ": Permission denied"), std::string::npos) << said;
  EXPECT_NE(said.find("usermod -aG"), std::string::npos) << said;
  EXPECT_EQ(said.find("cannot open"), said.rfind("cannot open")) << "said more than once:\n"
                                                                  << said;
}

TEST(EvdevJoystick, RealControllersAreReadWhenPresent) {
  if (access("/dev/input", R_OK) != 0) {
    GTEST_SKIP() << "no /dev/input on this machine: real controllers cannot be read here";
  }
  JOYINFOEX info = {};
  int readable = 0;
  for (UINT id = 0; id < joyGetNumDevs(); ++id) {
    if (joyGetPosEx(id, &info) == JOYERR_NOERROR) {
      ++readable;
      EXPECT_LE(info.dwXpos, 65535u);
    }
  }
  if (readable == 0) GTEST_SKIP() << "no joystick is plugged in or readable";
}

TEST(UinputKeyboard, MapsVirtualKeysToEvdevKeysWithASyncEach) {
  const struct {
    BYTE vk;
    std::uint16_t code;
  } keys[] = {{VK_LSHIFT, KEY_LEFTSHIFT},
              {VK_LCONTROL, KEY_LEFTCTRL},
              {VK_RSHIFT, KEY_RIGHTSHIFT},
              {VK_RCONTROL, KEY_RIGHTCTRL}};
  for (const auto& key : keys) {
    for (DWORD flags : {0u, 1u, 2u, 3u}) {
      uinput_keyboard::KeyEvent events[2] = {};
      ASSERT_EQ(uinput_keyboard::events_for(key.vk, flags, events), 2);
      EXPECT_EQ(events[0].type, EV_KEY);
      EXPECT_EQ(events[0].code, key.code);
      EXPECT_EQ(events[0].value, (flags & 2u) != 0 ? 0 : 1)
          << "vk " << int{key.vk} << " flags " << flags;
      EXPECT_EQ(events[1].type, EV_SYN);
      EXPECT_EQ(events[1].code, SYN_REPORT);
    }
  }
  uinput_keyboard::KeyEvent events[2];
  EXPECT_EQ(uinput_keyboard::events_for(0x41, 0, events), 0);  // 'A' is not offered
  EXPECT_EQ(uinput_keyboard::events_for(0x10, 0, events), 0);  // nor plain VK_SHIFT
}

TEST(UinputKeyboard, MissingDeviceSaysHowToLoadTheModule) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard("/nonexistent/uinput"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("/nonexistent/uinput"), std::string::npos) << said;
  EXPECT_NE(said.find("sudo modprobe uinput"), std::string::npos) << said;
  EXPECT_NE(said.find("/etc/modules-load.d/"), std::string::npos) << said;
}

TEST(UinputKeyboard, DeniedDeviceNamesTheUdevRuleAndNeverRoot) {
  // A file this user may not open for writing: one without permissions, or
  // for root (who ignores those) a read-only sysfs file.
  char path[] = "/tmp/keyconv-uinput-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  chmod(path, 0);
  const char* denied = path;
  if (const int probe = open(denied, O_RDWR); probe >= 0) {
    close(probe);
    denied = "/sys/kernel/notes";
  }
  const int probe = open(denied, O_RDWR);
  const int error = errno;
  if (probe >= 0) close(probe);
  if (probe >= 0 || error != EACCES) {
    unlink(path);
    GTEST_SKIP() << "no file here refuses this user with EACCES";
  }
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard(denied));
  const std::string said = testing::internal::GetCapturedStderr();
  unlink(path);
  EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
  EXPECT_NE(said.find("60-keyconv-uinput.rules"), std::string::npos) << said;
  EXPECT_NE(said.find("udevadm"), std::string::npos) << said;
  EXPECT_EQ(said.find("sudo keyconv"), std::string::npos) << said;
}

TEST(UinputKeyboard, NotAUinputDeviceFails) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard("/dev/null"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot create a virtual keyboard through /dev/null"), std::string::npos)
      << said;
}

// A pseudo-terminal stands in for the user's terminal.
struct Pty {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  Pty() { openpty(&master, &slave, name, nullptr, nullptr); }
  ~Pty() {
    close(master);
    close(slave);
  }
  tcflag_t lflag() const {
    termios mode;
    tcgetattr(slave, &mode);
    return mode.c_lflag;
  }
};

bool kbhit_within_a_second() {
  for (int i = 0; i < 1000; ++i) {
    if (_kbhit()) return true;
    usleep(1000);
  }
  return false;
}

TEST(Console, SeesAKeystrokeWithoutTakingItAndRestoresTheMode) {
  Pty pty;
  ASSERT_GE(pty.master, 0);
  ASSERT_NE(pty.lflag() & ICANON, 0u);
  console_open(pty.name);
  EXPECT_EQ(pty.lflag() & (ICANON | ECHO), 0u) << "canonical input and echo are off";
  EXPECT_EQ(_kbhit(), 0);
  ASSERT_EQ(write(pty.master, "q", 1), 1);
  EXPECT_TRUE(kbhit_within_a_second());
  EXPECT_EQ(_kbhit(), 1) << "the keystroke is still waiting";
  console_close();
  EXPECT_NE(pty.lflag() & ICANON, 0u);
  EXPECT_NE(pty.lflag() & ECHO, 0u);
  EXPECT_EQ(_kbhit(), 0) << "closed: no terminal, no keystroke";
  // The keystroke stays for whoever reads the terminal next.
  int pending = 0;
  ASSERT_EQ(ioctl(pty.slave, FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 1);
}

TEST(Console, NoTerminalMeansNoKeystroke) {
  console_open("/nonexistent/tty");
  EXPECT_EQ(_kbhit(), 0);
  console_close();
}

TEST(Console, FatalSignalRestoresTheModeAndEndsBySignal) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      console_open(pty.name);
      install_fatal_signal_handlers();
      if (pty.lflag() & ICANON) _exit(3);  // the mode should be changed by now
      raise(signal_number);
      _exit(4);  // not reached: the handler ends the process by the signal
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_NE(pty.lflag() & ICANON, 0u) << "signal " << signal_number;
    EXPECT_NE(pty.lflag() & ECHO, 0u) << "signal " << signal_number;
  }
}

TEST(Console, CtrlZRestoresTheModeWhileStoppedAndSetsItAgainAfter) {
  Pty pty;
  ASSERT_GE(pty.master, 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setpgid(0, 0);  // a group of its own, so the stop is not discarded
    console_open(pty.name);
    install_fatal_signal_handlers();
    raise(SIGTSTP);
    _exit((pty.lflag() & ICANON) == 0 ? 0 : 5);  // back in its mode after SIGCONT
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
  ASSERT_TRUE(WIFSTOPPED(status));
  EXPECT_NE(pty.lflag() & ICANON, 0u) << "the shell gets its mode back while stopped";
  EXPECT_NE(pty.lflag() & ECHO, 0u);
  kill(child, SIGCONT);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "canonical input is off again after SIGCONT";
}

}  // namespace

#include <sys/prctl.h>

namespace {

TEST(TimerSlack, LoweredForTheConversionAndPutBack) {
  const int before = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  ASSERT_GT(before, 1);
  EXPECT_EQ(timeBeginPeriod(1), 0u);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);
  EXPECT_EQ(timeEndPeriod(1), 0u);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), before);
}

}  // namespace
