#include "device_support.h"

#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "expected_text.h"
#include "shell_process.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string on_terminal(const std::string& text) {
  std::string sent;
  for (char c : text) {
    if (c == '\n') sent += '\r';
    sent += c;
  }
  return sent;
}

ProgramRun::~ProgramRun() {
  if (pid > 0) kill(pid, SIGKILL);
}

bool ProgramRun::start(const RunOptions& options) {
  const std::string program = options.program.empty() ? KEYCONV_PROGRAM : options.program;
  return Job::start(
      [&]() -> int {
        if (options.uid != 0 && (setgid(options.uid) != 0 || setuid(options.uid) != 0)) return 126;
        for (int signal_number : options.ignored) signal(signal_number, SIG_IGN);
        for (const std::string& setting : options.env) putenv(const_cast<char*>(setting.c_str()));
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        return 127;
      },
      options.terminal, options.stdout_to_pipe);
}

::testing::AssertionResult ProgramRun::start_at_1p_prompt(const RunOptions& options) {
  if (!start(options)) return ::testing::AssertionFailure() << "the program did not start";
  if (wait_for(on_terminal(expected::SETUP_1P))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no 1P prompt:\n" << output;
}

JobStatus ProgramRun::wait_exit(std::chrono::milliseconds timeout) {
  const JobStatus status = wait(timeout);
  if (status.kind == JobStatus::running || status.kind == JobStatus::stopped) {
    kill(pid, SIGKILL);
    kill(pid, SIGCONT);
    wait();
  }
  pid = -1;
  return status;
}

void ProgramRun::stop_and_continue(const std::function<void()>& while_stopped) {
  kill(pid, SIGSTOP);
  for (int i = 0; i < 1000 && !stopped(); ++i) std::this_thread::sleep_for(1ms);
  while_stopped();
  kill(pid, SIGCONT);
}

bool ProgramRun::stopped() const { return process_stopped(pid); }

::testing::AssertionResult assign_players(ProgramRun& run, VirtualDevice& pad_1p,
                                          VirtualDevice* pad_2p, bool prompts_seen) {
  VirtualDevice& pad = pad_2p != nullptr ? *pad_2p : pad_1p;
  if (!prompts_seen) {
    // Player 1 presses and lets go twice, with time for each step.
    for (VirtualDevice* pressed : {&pad_1p, &pad}) {
      std::this_thread::sleep_for(300ms);
      pressed->press(BTN_TRIGGER);
      std::this_thread::sleep_for(300ms);
      pressed->release(BTN_TRIGGER);
    }
    std::this_thread::sleep_for(300ms);
    return ::testing::AssertionSuccess();
  }
  if (!run.wait_for(on_terminal(expected::SETUP_1P)) ||
      !press_until(run, pad_1p, BTN_TRIGGER, "CntrID=") ||
      !run.wait_for(on_terminal(expected::SETUP_2P)) ||
      !press_until(run, pad, BTN_TRIGGER, on_terminal(expected::START))) {
    return ::testing::AssertionFailure() << "the assignment stopped here:\n" << run.output;
  }
  // The loop's first pass takes the starting positions: a move before it
  // would be no move.
  std::this_thread::sleep_for(100ms);
  return ::testing::AssertionSuccess();
}

bool press_until(ProgramRun& run, VirtualDevice& device, unsigned int button,
                 const std::string& text) {
  device.press(button);
  const bool seen = run.wait_for(text);
  device.release(button);
  return seen;
}

::testing::AssertionResult press_takes_no_player(ProgramRun& run, VirtualDevice& device,
                                                 unsigned int button) {
  device.press(button);
  std::this_thread::sleep_for(300ms);
  run.read_output();
  device.release(button);
  if (run.output.find("CntrID") == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "a player was taken:\n" << run.output;
}

namespace {

// Starts the program, finds its keyboard and plays the assignment.
::testing::AssertionResult start_converting(ProgramRun& run, ProgramKeyboard& keyboard,
                                            VirtualDevice& pad_1p, VirtualDevice* pad_2p,
                                            const RunOptions& options = {}) {
  if (!run.start(options)) return ::testing::AssertionFailure() << "the program did not start";
  if (!keyboard.open_when_there()) {
    run.read_output();
    return ::testing::AssertionFailure() << "its keyboard did not appear:\n" << run.output;
  }
  return assign_players(run, pad_1p, pad_2p,
                        !options.stdout_to_pipe && options.terminal != Terminal::none);
}

}  // namespace

::testing::AssertionResult OnePlayer::start(const RunOptions& options, AxisRange x) {
  if (pad.dev == nullptr && !make_controller(pad, x)) {
    return ::testing::AssertionFailure() << "no controller";
  }
  return start_converting(run, keyboard, pad, nullptr, options);
}

::testing::AssertionResult OnePlayer::turn_up() {
  pad.move_x(2000);
  const KeyEvent pressed = keyboard.next();
  if (pressed == down(KEY_LEFTSHIFT)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no Left Shift: " << ::testing::PrintToString(pressed);
}

void OnePlayer::turn_up_and_end() {
  EXPECT_TRUE(turn_up());
  end_with_a_keystroke(run, keyboard);
}

void expect_a_refused_controller_taken_once_permitted(
    const std::function<void(const VirtualDevice&)>& settled) {
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad));
  settled(pad);
  ASSERT_EQ(chmod(pad.node().c_str(), 0600), 0);
  const UinputLent lent;
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt({.uid = PLAYER_UID}));
  ASSERT_TRUE(run.wait_for("cannot read the controller")) << run.output;
  ASSERT_EQ(chown(pad.node().c_str(), PLAYER_UID, PLAYER_UID), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(press_until(run, pad, BTN_TRIGGER, "CntrID=0")) << run.output;
  EXPECT_EQ(run.output.find("cannot read"), run.output.rfind("cannot read")) << run.output;
  run.type("q");
}

KeyEvents end_with_a_keystroke(ProgramRun& run, ProgramKeyboard& keyboard) {
  run.type("q");
  KeyEvents events = keyboard.until_gone();
  EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::exited, 0})) << run.output;
  return events;
}

::testing::AssertionResult TwoPlayers::start() {
  if (!make_controller(pad_1p, AT_REST, "usb-keyconv-test/input1") ||
      !make_controller(pad_2p, AT_REST, "usb-keyconv-test/input2")) {
    return ::testing::AssertionFailure() << "no controllers";
  }
  return start_converting(run, keyboard, pad_1p, &pad_2p);
}
