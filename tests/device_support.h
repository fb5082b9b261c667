// What the device tests share: virtual devices made through uinput, the real
// program run on a pseudo-terminal, and its virtual keyboard read back with
// the kernel's timestamps. These tests need a kernel with uinput; on other
// machines they skip, and in the test VM they must run.
#pragma once

#include <gtest/gtest.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "job_shell.h"
#include "real_devices.h"

// Skips the test, saying why, when missing (a reason) is not empty; fails
// instead where KEYCONV_DEVICE_TESTS=required (the test VM).
#define REQUIRE(missing)                               \
  do {                                                 \
    const std::string missing_ = (missing);            \
    if (!missing_.empty()) {                           \
      if (device_tests_required()) FAIL() << missing_; \
      GTEST_SKIP() << missing_;                        \
    }                                                  \
  } while (false)

std::string device_tests_unavailable();
std::string udev_tests_unavailable();
bool device_tests_required();

// The device tests' fixtures: each test needs virtual devices, and those of
// the udev path a udev daemon too.
struct DeviceTest : ::testing::Test {
  void SetUp() override { REQUIRE(device_tests_unavailable()); }
};
struct UdevTest : ::testing::Test {
  void SetUp() override { REQUIRE(udev_tests_unavailable()); }
};

struct AxisRange {
  int minimum = 0;
  int maximum = 65535;
  int fuzz = 0;
  int value = 0;
};

// A device made through uinput; destroyed when it goes out of scope.
struct VirtualDevice {
  libevdev* dev = nullptr;
  libevdev_uinput* uinput = nullptr;
  int uinput_fd = -1;

  VirtualDevice() = default;
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;
  ~VirtualDevice() { destroy(); }

  // Every axis of shape gets range x; phys tells re-plugged devices apart.
  bool make(const DeviceShape& shape, AxisRange x = {},
            const char* phys = "usb-keyconv-test/input0");
  void destroy();
  std::string node() const;
  // One event and its SYN_REPORT.
  void emit(unsigned int type, unsigned int code, int value);
  void press(unsigned int code) { emit(EV_KEY, code, 1); }
  void release(unsigned int code) { emit(EV_KEY, code, 0); }
  void move_x(int value) { emit(EV_ABS, ABS_X, value); }
  // The X axis's fuzz as the kernel has it now; -1 when it cannot be read.
  int x_fuzz() const;
};

constexpr AxisRange AT_REST = {0, 65535, 0, 1000};

// A rotary controller: the turntable's shape, with range x.
bool make_controller(VirtualDevice& device, AxisRange x = AT_REST,
                     const char* phys = "usb-keyconv-test/input0");

// A threshold that keeps a key held for longer than any test runs.
inline const std::vector<std::string> LONG_HOLD = {"100000"};

struct RunOptions {
  std::string program = {};            // default: keyconv
  std::vector<std::string> args = {};  // after the program's name
  uid_t uid = 0;                       // 0: as the test runs
  bool stdout_to_pipe = false;         // standard output to a pipe instead of the terminal
  Terminal terminal = Terminal::own;
  std::vector<int> ignored = {};      // signals it starts with ignored, as under nohup
  std::vector<std::string> env = {};  // NAME=value, added to its environment
};

// The program as a job on a pseudo-terminal (job_shell.h). Its output is
// what it wrote to the terminal (standard output and error), line feeds as
// the terminal sends them (CR LF), and what it wrote to the pipe, if any.
struct ProgramRun : Job {
  ProgramRun() = default;
  ~ProgramRun();

  bool start(const RunOptions& options);
  // Starts the program and waits for the 1P prompt.
  ::testing::AssertionResult start_at_1p_prompt(const RunOptions& options = {});
  // Waits for the end; a program still there after timeout is killed.
  JobStatus wait_exit(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  // Stops the program (SIGSTOP: no handler of its own runs), calls
  // while_stopped, and lets it go on: what while_stopped does reaches the
  // program all in one pass.
  void stop_and_continue(const std::function<void()>& while_stopped);
  bool stopped() const;
};

// Plays the assignment: player 1 presses and lets go of a button of pad,
// then presses it again to skip player 2 (or presses pad_2p's), and the
// program reaches its conversion and has taken the starting positions.
// Where the prompts cannot be seen (output to a pipe), it goes by the clock.
::testing::AssertionResult assign_players(ProgramRun& run, VirtualDevice& pad_1p,
                                          VirtualDevice* pad_2p = nullptr,
                                          bool prompts_seen = true);

// Presses button on device, waits until text appears in the program's
// output, and lets the button go: whether text appeared.
bool press_until(ProgramRun& run, VirtualDevice& device, unsigned int button,
                 const std::string& text);

// At the 1P prompt: presses button on device and lets it go again; the
// program must take no player for it.
::testing::AssertionResult press_takes_no_player(ProgramRun& run, VirtualDevice& device,
                                                 unsigned int button);

struct KeyEvent {
  unsigned int code;
  int value;
  double ms;  // the kernel's CLOCK_MONOTONIC timestamp, in ms
  bool operator==(const KeyEvent& other) const {
    return code == other.code && value == other.value;
  }
};

void PrintTo(const KeyEvent& event, std::ostream* out);
using KeyEvents = std::vector<KeyEvent>;
KeyEvents& operator+=(KeyEvents& events, const KeyEvents& more);

// The program's "keyconv virtual keyboard", read with monotonic timestamps.
struct ProgramKeyboard {
  int fd = -1;
  ProgramKeyboard() = default;
  ProgramKeyboard(const ProgramKeyboard&) = delete;
  ProgramKeyboard& operator=(const ProgramKeyboard&) = delete;
  ~ProgramKeyboard();
  bool open_when_there(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  // The next key event, each of which must be followed by SYN_REPORT; code
  // 0 after timeout or when the keyboard went away.
  KeyEvent next(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // Every key event until the keyboard goes away with its program.
  KeyEvents until_gone(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  // Every key event until none comes for quiet.
  KeyEvents until_quiet(std::chrono::milliseconds quiet);
  // Keys the kernel holds down on this keyboard now.
  std::vector<unsigned int> held() const;

 private:
  bool gone_ = false;
};

// Types a key on the program's terminal, takes in its key events until its
// keyboard goes away, and expects it to end with status 0.
KeyEvents end_with_a_keystroke(ProgramRun& run, ProgramKeyboard& keyboard);

// The program's system calls as the kernel traces them, on the monotonic
// clock of the key events' timestamps: each pass of the polling loop checks
// for a keystroke once (a poll), and each key event is one write of the key
// and its SYN_REPORT.
struct SyscallTrace {
  struct Call {
    bool poll;  // otherwise a write
    int fd;
    long count;
    double ms;  // when, on the monotonic clock
  };
  bool start(pid_t pid);
  // Stops tracing and returns the calls, oldest first.
  std::vector<Call> stop();
  ~SyscallTrace();
  bool running = false;
};

// The passes between two key events: from the pass that sent first to the
// one that sent then, counted by their keystroke checks.
long passes_between(const std::vector<SyscallTrace::Call>& calls, const KeyEvent& first,
                    const KeyEvent& then);

// When a pass began, by its keystroke check: back passes before the one
// that sent event (0: that one); -1 when the trace does not go so far back.
double pass_began_ms(const std::vector<SyscallTrace::Call>& calls, const KeyEvent& event, int back);

// How often the process has been woken up (its context switches) so far.
long wakeups(pid_t pid);

// The processor time the process has taken so far, in clock ticks.
long cpu_ticks(pid_t pid);

// The process takes less than half a processor over half a second: it does
// not spin, whatever its state.
::testing::AssertionResult does_not_spin(pid_t pid);

constexpr uid_t PLAYER_UID = 1000;  // a user of the guest's /etc/passwd

// /dev/uinput given to the player for the test's time, as the udev rule does.
struct UinputLent {
  UinputLent() { EXPECT_EQ(chown("/dev/uinput", PLAYER_UID, PLAYER_UID), 0); }
  ~UinputLent() { EXPECT_EQ(chown("/dev/uinput", 0, 0), 0); }
  UinputLent(const UinputLent&) = delete;
  UinputLent& operator=(const UinputLent&) = delete;
};

// The player may not read the controller at first, as over ssh, and then
// may, as when logind gives it to the seat's user without a udev event: it
// is taken at the 1P prompt, and was named only once. settled(pad) waits
// until the machine has finished with the new controller.
void expect_a_refused_controller_taken_once_permitted(
    const std::function<void(const VirtualDevice&)>& settled);

// One controller, the program converting it, and its keyboard:
//   OnePlayer player;
//   ASSERT_TRUE(player.start({.args = {"100000"}}));
//   auto& [pad, run, keyboard] = player;
// A test may make the pad itself before start, to give it a shape of its
// own or to change its node first.
struct OnePlayer {
  VirtualDevice pad;
  ProgramRun run;
  ProgramKeyboard keyboard;
  ::testing::AssertionResult start(const RunOptions& options = {}, AxisRange x = AT_REST);
  // Turns the pad up from rest: Left Shift must go down.
  ::testing::AssertionResult turn_up();
  // turn_up, then a keystroke ends the program.
  void turn_up_and_end();
};

// Two controllers of one model on two ports, at rest at 1000, the program
// converting them for player 1 and player 2, and its keyboard.
struct TwoPlayers {
  VirtualDevice pad_1p;
  VirtualDevice pad_2p;
  ProgramRun run;
  ProgramKeyboard keyboard;
  ::testing::AssertionResult start();
};

constexpr KeyEvent down(unsigned int code) { return {code, 1, 0}; }
constexpr KeyEvent up(unsigned int code) { return {code, 0, 0}; }

double monotonic_ms();
// A text the program writes, as the terminal sends it on: CR LF line ends.
std::string on_terminal(const std::string& text);
