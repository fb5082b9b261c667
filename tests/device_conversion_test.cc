// Whole programs on a real kernel: virtual controllers made through uinput,
// the program on a pseudo-terminal, its key events read back from its own
// virtual keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "device_support.h"
#include "expected_text.h"

namespace {

using namespace std::chrono_literals;
using DeviceConversion = DeviceTest;

// keyconv_busy's hold at the default threshold in the test VM under
// software emulation, as README.md gives it: 34 passes without pause, each
// 0.005 to 0.05 ms there.
constexpr double BUSY_HOLD_UNDER_EMULATION_MS[] = {0.2, 2.0};

// keyconv_busy's hold, untraced, as the shortest of seven turns. Under
// emulation on a small host a hold is either about 34 passes or several
// milliseconds longer, when the host gives the emulated processor's thread
// to other work for a while; the shortest hold is the one that shows what
// the passes cost.
double shortest_busy_hold(VirtualDevice& pad, ProgramKeyboard& keyboard) {
  std::vector<double> holds;
  for (int turn = 0; turn < 7; ++turn) {
    const bool up_turn = turn % 2 == 0;
    pad.move_x(up_turn ? 2000 : 1500);
    const KeyEvent pressed = keyboard.next();
    const KeyEvent let_go = keyboard.next();
    const unsigned int key = up_turn ? KEY_LEFTSHIFT : KEY_LEFTCTRL;
    EXPECT_EQ((KeyEvents{pressed, let_go}), (KeyEvents{down(key), up(key)}));
    holds.push_back(let_go.ms - pressed.ms);
    std::this_thread::sleep_for(50ms);
  }
  std::sort(holds.begin(), holds.end());
  std::printf("keyconv_busy's holds, shortest to longest:");
  for (const double hold : holds) std::printf(" %.2f", hold);
  std::printf(" ms\n");
  return holds.front();
}

// A second at rest, a turn up, a hold until the key is let go, a turn down
// and its hold, and at rest again a keystroke. At rest keyconv waits for
// the controller without a clock; a hold lasts 34 passes, each a pause
// apart.
void turn_hold_turn_back(const std::string& program) {
  const bool paced = program == KEYCONV_PROGRAM;
  OnePlayer player;
  ASSERT_TRUE(player.start({.program = program}));
  auto& [pad, run, keyboard] = player;

  const long woken_before = wakeups(run.pid);
  std::this_thread::sleep_for(1s);
  const long woken_at_rest = wakeups(run.pid) - woken_before;
  SyscallTrace trace;
  ASSERT_TRUE(trace.start(run.pid)) << "tracefs is needed to count the passes";
  pad.move_x(2000);
  const KeyEvent shift_down = keyboard.next();
  const KeyEvent shift_up = keyboard.next();
  pad.move_x(1500);
  const KeyEvent control_down = keyboard.next();
  const KeyEvent control_up = keyboard.next();
  const std::vector<SyscallTrace::Call> calls = trace.stop();
  std::this_thread::sleep_for(300ms);
  // A key goes up on the 34th unchanged read: 34 passes after the one that
  // saw the move.
  EXPECT_EQ(passes_between(calls, shift_down, shift_up), 34);
  EXPECT_EQ(passes_between(calls, control_down, control_up), 34);
  std::printf("hold: %.1f ms from key-down to key-up; woken %ld times in a second at rest\n",
              shift_up.ms - shift_down.ms, woken_at_rest);
  if (paced) {
    EXPECT_GE(shift_up.ms - shift_down.ms, 34.0);
    EXPECT_GE(control_up.ms - control_down.ms, 34.0);
    EXPECT_LE(woken_at_rest, 10) << "a clock at rest";
  }
  if (!paced && vm_accelerator() == "tcg") {
    const double hold = shortest_busy_hold(pad, keyboard);
    EXPECT_GE(hold, BUSY_HOLD_UNDER_EMULATION_MS[0]) << "shorter than README.md says";
    EXPECT_LE(hold, BUSY_HOLD_UNDER_EMULATION_MS[1]) << "longer than README.md says";
  }
  const double typed = monotonic_ms();
  KeyEvents events = {shift_down, shift_up, control_down, control_up};
  events += end_with_a_keystroke(run, keyboard);
  const double ended = monotonic_ms();

  EXPECT_EQ(events, (KeyEvents{down(KEY_LEFTSHIFT), up(KEY_LEFTSHIFT), down(KEY_LEFTCTRL),
                               up(KEY_LEFTCTRL)}));
  EXPECT_LT(ended - typed, 200.0) << "a keystroke at rest ends it at once";
  EXPECT_EQ(run.output, on_terminal(expected::started(-1)));
  EXPECT_TRUE(run.terminal_restored());
}

TEST_F(DeviceConversion, KeyconvTurnsHoldsLetsGoAndEndsOnAKeystroke) {
  turn_hold_turn_back(KEYCONV_PROGRAM);
}

TEST_F(DeviceConversion, KeyconvBusyTurnsHoldsLetsGoAndEndsOnAKeystroke) {
  turn_hold_turn_back(KEYCONV_BUSY_PROGRAM);
}

// A turn whose every step comes late in a timed wait, then stillness, at
// threshold 0: the key goes up on the second unchanged read, each read a
// whole pause after the pass before it, so no sooner than 2 ms after the
// pass that read the last step, however the pause was cut short before.
TEST_F(DeviceConversion, AHoldAfterATurnLastsItsWholePauses) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = {"0"}}));
  auto& [pad, run, keyboard] = player;
  for (int turn = 0; turn < 5; ++turn) {
    SyscallTrace trace;
    ASSERT_TRUE(trace.start(run.pid)) << "tracefs is needed to find the passes";
    const int from = 1000 + 100 * turn;
    for (int step = 1; step <= 20; ++step) {
      pad.move_x(from + step);
      std::this_thread::sleep_for(600us);
    }
    const KeyEvents events = keyboard.until_quiet(100ms);
    const std::vector<SyscallTrace::Call> calls = trace.stop();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), down(KEY_LEFTSHIFT));
    const KeyEvent let_go = events.back();
    EXPECT_EQ(let_go, up(KEY_LEFTSHIFT));
    const double read_last_step = pass_began_ms(calls, let_go, 2);
    ASSERT_GE(read_last_step, 0.0);
    EXPECT_GE(let_go.ms - read_last_step, 2.0) << "turn " << turn;
    std::printf("turn %d: key-up %.3f ms after the pass that read the last step\n", turn,
                let_go.ms - read_last_step);
  }
  end_with_a_keystroke(run, keyboard);
}

// The wrap rule on an 8-bit axis: 250 to 5 is a rise through the end of the
// range, 5 to 250 a fall.
TEST_F(DeviceConversion, AnEightBitAxisWrapsAroundBothWays) {
  OnePlayer player;
  ASSERT_TRUE(player.start({}, {0, 255, 0, 250}));
  auto& [pad, run, keyboard] = player;
  pad.move_x(5);
  const KeyEvent rise = keyboard.next();
  pad.move_x(250);
  KeyEvents events = {rise, keyboard.next(), keyboard.next()};
  events += end_with_a_keystroke(run, keyboard);
  EXPECT_EQ(events, (KeyEvents{down(KEY_LEFTSHIFT), up(KEY_LEFTSHIFT), down(KEY_LEFTCTRL),
                               up(KEY_LEFTCTRL)}));
}

// Player 2 made one move and is now still, while player 1 turns fast, an
// event every quarter millisecond, and player 2's own buttons chatter:
// player 2's key still lasts its 34 passes, each a pause apart.
TEST_F(DeviceConversion, AFastTurnOfOnePlayerDoesNotShortenTheOthersHold) {
  TwoPlayers players;
  ASSERT_TRUE(players.start());
  auto& [pad_1p, pad_2p, run, keyboard] = players;
  std::atomic<bool> turning = true;
  std::thread turn([&] {
    for (int x = 1001; turning; ++x) {
      pad_1p.move_x(x);
      pad_2p.emit(EV_KEY, BTN_THUMB, x % 2);
      std::this_thread::sleep_for(250us);
    }
  });
  const KeyEvent turning_up = keyboard.next();
  SyscallTrace trace;
  ASSERT_TRUE(trace.start(run.pid));
  pad_2p.move_x(2000);
  const KeyEvent pressed = keyboard.next();
  const KeyEvent let_go = keyboard.next();
  const long passes = passes_between(trace.stop(), pressed, let_go);
  turning = false;
  turn.join();
  EXPECT_EQ(turning_up, down(KEY_LEFTSHIFT));
  EXPECT_EQ(pressed, down(KEY_RIGHTSHIFT));
  EXPECT_EQ(let_go, up(KEY_RIGHTSHIFT));
  EXPECT_EQ(passes, 34);
  EXPECT_GE(let_go.ms - pressed.ms, 34.0);
  std::printf("player 2's hold: %.1f ms\n", let_go.ms - pressed.ms);
  keyboard.until_quiet(200ms);
  end_with_a_keystroke(run, keyboard);
}

// Both players move in the same pass: player 1's key goes first.
TEST_F(DeviceConversion, TwoControllersPlayerOneFirstWithinAPass) {
  TwoPlayers players;
  ASSERT_TRUE(players.start());
  auto& [pad_1p, pad_2p, run, keyboard] = players;
  EXPECT_EQ(run.output, on_terminal(expected::started(1)));
  run.stop_and_continue([&] {
    pad_2p.move_x(2000);
    pad_1p.move_x(2000);
  });
  KeyEvents events;
  for (int i = 0; i < 4; ++i) events.push_back(keyboard.next());
  pad_2p.move_x(1000);
  events.push_back(keyboard.next());
  events += end_with_a_keystroke(run, keyboard);
  EXPECT_EQ(events, (KeyEvents{down(KEY_LEFTSHIFT), down(KEY_RIGHTSHIFT), up(KEY_LEFTSHIFT),
                               up(KEY_RIGHTSHIFT), down(KEY_RIGHTCTRL), up(KEY_RIGHTCTRL)}));
}

}  // namespace
