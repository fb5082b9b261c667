// Every way the program stops or pauses, on a real kernel: the keys it held
// are let go where a reader of its keyboard sees it, and the terminal gets
// its mode back.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "device_support.h"
#include "expected_text.h"

namespace {

using namespace std::chrono_literals;
using DeviceStop = DeviceTest;

// What a reader of the keyboard sees after the signal: the key-up, and then
// the kernel holding nothing, before the keyboard goes away.
void expect_let_go_before_the_end(ProgramKeyboard& keyboard, const std::string& what) {
  const KeyEvent let_go = keyboard.next();
  EXPECT_EQ(let_go, up(KEY_LEFTSHIFT)) << what;
  EXPECT_TRUE(keyboard.held().empty()) << what;
  keyboard.until_gone();
}

TEST_F(DeviceStop, EverySignalThatEndsTheProgramLetsGoOfItsKeysForAReader) {
  constexpr int TRIALS = 10;
  for (const int signal_number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGSEGV}) {
    int let_go = 0;
    for (int trial = 0; trial < TRIALS; ++trial) {
      const std::string what =
          std::string(strsignal(signal_number)) + ", trial " + std::to_string(trial + 1);
      OnePlayer player;
      ASSERT_TRUE(player.start({.args = LONG_HOLD})) << what;
      ASSERT_TRUE(player.turn_up()) << what;
      auto& [pad, run, keyboard] = player;
      run.send(signal_number);
      // A game reads its input once a frame, not at once.
      std::this_thread::sleep_for(20ms);
      const KeyEvent event = keyboard.next();
      const bool held_nothing = keyboard.held().empty();
      keyboard.until_gone();
      if (event == up(KEY_LEFTSHIFT) && held_nothing) ++let_go;
      EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::signaled, signal_number})) << what;
      EXPECT_TRUE(run.terminal_restored()) << what;
    }
    EXPECT_EQ(let_go, TRIALS) << strsignal(signal_number)
                              << ": the reader saw the key-up only so often";
  }
}

// keyconv | head: the reader of standard output goes away.
TEST_F(DeviceStop, AClosedOutputPipeEndsTheProgramWithItsKeysLetGo) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD, .stdout_to_pipe = true}));
  ASSERT_TRUE(player.turn_up());
  auto& [pad, run, keyboard] = player;
  close(run.stdout_pipe);
  run.stdout_pipe = -1;
  pad.destroy();  // "Error" on every pass, until the buffer goes to the pipe
  expect_let_go_before_the_end(keyboard, "SIGPIPE");
  EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::signaled, SIGPIPE}));
  EXPECT_TRUE(run.terminal_restored());
}

TEST_F(DeviceStop, CtrlZLetsGoOfTheKeysAndFgPressesThemAgainWhileTheTurnGoesOn) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD, .terminal = Terminal::foreground_job}));
  ASSERT_TRUE(player.turn_up());
  auto& [pad, run, keyboard] = player;
  run.send(SIGTSTP);
  EXPECT_EQ(keyboard.next(), up(KEY_LEFTSHIFT)) << "a stopped program holds no key";
  EXPECT_TRUE(keyboard.held().empty());
  ASSERT_EQ(run.wait(), (JobStatus{JobStatus::stopped, SIGTSTP}));
  EXPECT_TRUE(run.terminal_restored()) << "the shell gets its mode back";

  pad.move_x(3000);  // the turn goes on while it is stopped
  run.fg();
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT)) << "the key comes back with fg";
  EXPECT_EQ(keyboard.until_quiet(300ms), KeyEvents{}) << "the same turn changes nothing";
  EXPECT_FALSE(run.terminal_restored()) << "the mode is taken again";
  EXPECT_TRUE(does_not_spin(run.pid));
  EXPECT_EQ(end_with_a_keystroke(run, keyboard), KeyEvents{up(KEY_LEFTSHIFT)});
  EXPECT_TRUE(run.terminal_restored());
}

// A background job is stopped when it writes to the terminal with tostop
// set (SIGTTOU), or reads it (SIGTTIN): as at Ctrl+Z, its keys go up until
// it goes on.
TEST_F(DeviceStop, StoppedAtTheTerminalInTheBackgroundItLetsGoOfItsKeysUntilItGoesOn) {
  for (const int signal_number : {SIGTTOU, SIGTTIN}) {
    OnePlayer player;
    ASSERT_TRUE(player.start({.args = LONG_HOLD, .terminal = Terminal::background_job}));
    ASSERT_TRUE(player.turn_up());
    auto& [pad, run, keyboard] = player;
    if (signal_number == SIGTTOU) {
      termios mode;
      tcgetattr(run.slave, &mode);
      mode.c_lflag |= TOSTOP;
      tcsetattr(run.slave, TCSANOW, &mode);
      pad.destroy();  // "Error", written to the terminal
    } else {
      kill(run.pid, SIGTTIN);
    }
    EXPECT_EQ(keyboard.next(), up(KEY_LEFTSHIFT)) << strsignal(signal_number);
    EXPECT_EQ(run.wait(), (JobStatus{JobStatus::stopped, signal_number}));
    // A writer goes on in the foreground; a reader may in the background.
    if (signal_number == SIGTTOU) {
      run.fg();
    } else {
      run.bg();
    }
    EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT)) << strsignal(signal_number);
    EXPECT_TRUE(does_not_spin(run.pid)) << strsignal(signal_number);
    run.fg();
    EXPECT_EQ(end_with_a_keystroke(run, keyboard), KeyEvents{up(KEY_LEFTSHIFT)});
    EXPECT_TRUE(run.terminal_restored());
  }
}

// Under nohup, a terminal that hangs up (a closed window, a lost ssh
// connection) is no keystroke: the program converts on until a signal ends
// it, and then lets go of its keys.
TEST_F(DeviceStop, UnderNohupAHangUpIsNoKeystrokeAndSigtermLetsGo) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD, .ignored = {SIGHUP}}));
  ASSERT_TRUE(player.turn_up());
  auto& [pad, run, keyboard] = player;
  run.hang_up();
  EXPECT_EQ(run.wait(300ms), (JobStatus{JobStatus::running, 0}));
  EXPECT_TRUE(does_not_spin(run.pid));
  pad.move_x(1000);
  EXPECT_EQ(keyboard.next(), up(KEY_LEFTSHIFT)) << "it converts on";
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTCTRL));
  kill(run.pid, SIGTERM);
  EXPECT_EQ(keyboard.next(), up(KEY_LEFTCTRL));
  keyboard.until_gone();
  EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::signaled, SIGTERM}));
}

// In the background, at rest: it converts, leaves the shell's keystrokes
// alone and is hardly ever woken. Then bash's fg, which hands a running job
// the terminal and sends it no SIGCONT: keyconv must find out by itself, so
// that a keystroke typed at once ends it, and within 250 ms.
void expect_fg_without_a_continue_to_end_it_at_rest(OnePlayer& player) {
  auto& [pad, run, keyboard] = player;
  EXPECT_TRUE(player.turn_up()) << "it converts in the background";
  EXPECT_EQ(keyboard.next(), up(KEY_LEFTSHIFT));  // at rest again
  EXPECT_TRUE(run.terminal_restored()) << "a background job took the terminal's mode";
  // Keystrokes for the shell: the terminal is readable, but not keyconv's.
  run.type("ls");
  const long woken = wakeups(run.pid);
  std::this_thread::sleep_for(1s);
  EXPECT_LE(wakeups(run.pid) - woken, 10) << "woken at rest in the background";
  EXPECT_EQ(run.wait(0ms), (JobStatus{JobStatus::running, 0}));
  tcflush(run.slave, TCIFLUSH);  // the shell reads them
  const double fg_at = monotonic_ms();
  run.fg();
  run.type("q");
  EXPECT_EQ(run.wait(250ms), (JobStatus{JobStatus::exited, 0}))
      << "a keystroke at once after fg, at rest";
  std::printf("ended %.1f ms after fg\n", monotonic_ms() - fg_at);
  EXPECT_EQ(keyboard.until_gone(), KeyEvents{});
  EXPECT_TRUE(run.terminal_restored());
}

TEST_F(DeviceStop, StartedWithAnAmpersandAKeystrokeEndsItAtRestAfterFg) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.terminal = Terminal::background_job}));
  expect_fg_without_a_continue_to_end_it_at_rest(player);
}

TEST_F(DeviceStop, AfterCtrlZAndBgAKeystrokeEndsItAtRestAfterFg) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.terminal = Terminal::foreground_job}));
  auto& run = player.run;
  ASSERT_TRUE(run.wait_for_mode(true));
  run.send(SIGTSTP);
  ASSERT_EQ(run.wait(), (JobStatus{JobStatus::stopped, SIGTSTP}));
  run.bg();
  expect_fg_without_a_continue_to_end_it_at_rest(player);
}

TEST_F(DeviceStop, WithoutATerminalItSaysSoOnceConvertsAndEndsOnSigterm) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD, .terminal = Terminal::none}));
  ASSERT_TRUE(player.turn_up());
  auto& [pad, run, keyboard] = player;
  EXPECT_TRUE(does_not_spin(run.pid));
  const std::string pid = std::to_string(run.pid);
  const std::string said =
      "keyconv: there is no terminal, so no keystroke can end keyconv (process " + pid +
      ").\nSIGTERM ends it and lets go of every key:\n  kill " + pid +
      "\nStarted by a service manager, it ends when its service is stopped there.\n";
  EXPECT_TRUE(run.wait_for(said)) << run.output;
  kill(run.pid, SIGTERM);
  expect_let_go_before_the_end(keyboard, "SIGTERM");
  EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::signaled, SIGTERM}));
  EXPECT_EQ(run.output, said) << "said once, and standard output never flushed";
}

}  // namespace
