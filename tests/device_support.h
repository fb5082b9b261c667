// What the device tests share: virtual devices made through uinput, the real
// program run on a pseudo-terminal, and its virtual keyboard read back with
// the kernel's timestamps. These tests need a kernel with uinput; on other
// machines they skip, and in the test VM they must run.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "device_fixtures.h"
#include "job_shell.h"
#include "program_keyboard.h"
#include "syscall_trace.h"
#include "virtual_device.h"

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

// Types a key on the program's terminal, takes in its key events until its
// keyboard goes away, and expects it to end with status 0.
KeyEvents end_with_a_keystroke(ProgramRun& run, ProgramKeyboard& keyboard);

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

// A text the program writes, as the terminal sends it on: CR LF line ends.
std::string on_terminal(const std::string& text);
