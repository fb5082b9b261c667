// Whole programs on a real kernel: virtual controllers made through uinput,
// the program on a pseudo-terminal, its key events read back from its own
// virtual keyboard.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <thread>

#include "../src/core/linux/keyboard_uinput.h"
#include "device_support.h"
#include "expected_text.h"

namespace {

using namespace std::chrono_literals;

// A turn up, a hold until the key is let go, a turn down, a keystroke.
void turn_hold_turn_back(const std::string& program) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.program = program}));
  auto& [pad, run, keyboard] = player;

  SyscallTrace trace;
  ASSERT_TRUE(trace.start(run.pid)) << "tracefs is needed to count the passes";
  pad.move_x(2000);
  const KeyEvent shift_down = keyboard.next();
  const KeyEvent shift_up = keyboard.next();
  const long passes = passes_between_key_events(trace.stop());
  pad.move_x(1500);
  const KeyEvent control_down = keyboard.next();
  run.type("q");
  std::vector<KeyEvent> events = {shift_down, shift_up, control_down};
  for (const KeyEvent& event : keyboard.until_gone()) events.push_back(event);
  const int status = run.wait_exit();

  const std::vector<KeyEvent> expected_events = {down(KEY_LEFTSHIFT), up(KEY_LEFTSHIFT),
                                                 down(KEY_LEFTCTRL), up(KEY_LEFTCTRL)};
  EXPECT_EQ(events, expected_events) << "expected:\n"
                                     << describe(expected_events) << "seen:\n"
                                     << describe(events);
  // The key goes up on the 34th unchanged read: 34 passes after the one
  // that saw the move.
  EXPECT_EQ(passes, 34);
  std::printf("hold: %.1f ms from key-down to key-up\n", shift_up.ms - shift_down.ms);
  EXPECT_EQ(run.output, on_terminal(expected::started(-1)));
  ASSERT_TRUE(WIFEXITED(status)) << "wait status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(run.terminal_restored());
}

TEST(DeviceConversion, KeyconvTurnsHoldsLetsGoAndEndsOnAKeystroke) {
  REQUIRE_DEVICES();
  turn_hold_turn_back(KEYCONV_PROGRAM);
}

TEST(DeviceConversion, KeyconvBusyTurnsHoldsLetsGoAndEndsOnAKeystroke) {
  REQUIRE_DEVICES();
  turn_hold_turn_back(KEYCONV_BUSY_PROGRAM);
}

}  // namespace

namespace {

// The wrap rule on an 8-bit axis: 250 to 5 is a rise through the end of the
// range, 5 to 250 a fall.
TEST(DeviceConversion, AnEightBitAxisWrapsAroundBothWays) {
  REQUIRE_DEVICES();
  OnePlayer player;
  ASSERT_TRUE(player.start({}, {0, 255, 0, 250}));
  auto& [pad, run, keyboard] = player;
  pad.move_x(5);
  const KeyEvent rise = keyboard.next();
  pad.move_x(250);
  std::vector<KeyEvent> events = {rise, keyboard.next(), keyboard.next()};
  for (const KeyEvent& event : end_with_a_keystroke(run, keyboard)) events.push_back(event);
  const std::vector<KeyEvent> expected_events = {down(KEY_LEFTSHIFT), up(KEY_LEFTSHIFT),
                                                 down(KEY_LEFTCTRL), up(KEY_LEFTCTRL)};
  EXPECT_EQ(events, expected_events) << "seen:\n" << describe(events);
}

// Both players move in the same pass: player 1's key goes first.
TEST(DeviceConversion, TwoControllersPlayerOneFirstWithinAPass) {
  REQUIRE_DEVICES();
  VirtualDevice pad_1p;
  VirtualDevice pad_2p;
  ASSERT_TRUE(make_two_controllers(pad_1p, pad_2p));
  ProgramRun run;
  ProgramKeyboard keyboard;
  ASSERT_TRUE(start_converting(run, keyboard, pad_1p, &pad_2p));
  EXPECT_EQ(run.output, on_terminal(expected::started(1)));
  run.stop_and_continue([&] {
    pad_2p.move_x(2000);
    pad_1p.move_x(2000);
  });
  std::vector<KeyEvent> events;
  for (int i = 0; i < 4; ++i) events.push_back(keyboard.next());
  pad_2p.move_x(1000);
  events.push_back(keyboard.next());
  run.type("q");
  for (const KeyEvent& event : keyboard.until_gone()) events.push_back(event);
  const std::vector<KeyEvent> expected_events = {down(KEY_LEFTSHIFT), down(KEY_RIGHTSHIFT),
                                                 up(KEY_LEFTSHIFT),   up(KEY_RIGHTSHIFT),
                                                 down(KEY_RIGHTCTRL), up(KEY_RIGHTCTRL)};
  EXPECT_EQ(events, expected_events) << "seen:\n" << describe(events);
  EXPECT_EQ(run.wait_exit(), 0);
}

}  // namespace

namespace {

// keybd_event as the Linux programs bind it, read back from the virtual
// keyboard: each of the four keys for every flag, each event with its
// SYN_REPORT, and nothing for a key the keyboard does not offer. The
// kernel drops a press of a key that is down, so presses and releases
// alternate.
TEST(DeviceKeyboard, WritesTheFourKeysWithASyncEachAndNothingElse) {
  REQUIRE_DEVICES();
  ASSERT_TRUE(uinput_keyboard::open_keyboard("/dev/uinput"));
  ProgramKeyboard keyboard;
  ASSERT_TRUE(keyboard.open_when_there());
  const struct {
    BYTE vk;
    unsigned int code;
  } keys[] = {{VK_LSHIFT, KEY_LEFTSHIFT},
              {VK_LCONTROL, KEY_LEFTCTRL},
              {VK_RSHIFT, KEY_RIGHTSHIFT},
              {VK_RCONTROL, KEY_RIGHTCTRL}};
  std::vector<KeyEvent> written, expected_events;
  for (const auto& key : keys) {
    for (DWORD flags : {0u, 2u, 1u, 3u}) {
      keybd_event(key.vk, 0, flags, 0);
      written.push_back(keyboard.next());
      expected_events.push_back((flags & KEYEVENTF_KEYUP) != 0 ? up(key.code) : down(key.code));
    }
  }
  keybd_event(0x41, 0, 0, 0);  // 'A' is not offered
  keybd_event(0x10, 0, 0, 0);  // nor plain VK_SHIFT
  for (const KeyEvent& event : keyboard.until_quiet(100ms)) written.push_back(event);
  uinput_keyboard::close_keyboard();
  EXPECT_EQ(written, expected_events) << "expected:\n"
                                      << describe(expected_events) << "written:\n"
                                      << describe(written);
}

}  // namespace
