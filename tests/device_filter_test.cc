// The X axis's filter on a real kernel: off for the players' controllers
// while the program reads them, put back afterwards, and never in the way
// of the axis's position.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <thread>

#include "device_support.h"
#include "expected_text.h"

namespace {

using namespace std::chrono_literals;
using DeviceDiscovery = DeviceTest;

// The HID driver gives a 10-bit axis a fuzz of 3, and the input core drops
// changes within half of it unless keyconv turns that off.
TEST_F(DeviceDiscovery, EveryStepOfATenBitAxisWithFuzzReachesTheProgram) {
  OnePlayer player;
  ASSERT_TRUE(player.start({}, {0, 1023, 3, 500}));
  auto& [pad, run, keyboard] = player;
  input_absinfo during = {};
  const int node = open(pad.node().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(node, 0);
  ioctl(node, EVIOCGABS(ABS_X), &during);
  EXPECT_EQ(during.fuzz, 0) << "the filter is still on while keyconv reads";

  // Single steps from rest: the filter would drop every one of them.
  KeyEvents events;
  for (int x = 501; x <= 503; ++x) {
    pad.move_x(x);
    events.push_back(keyboard.next(1000ms));
    events.push_back(keyboard.next(1000ms));
  }
  // A slow turn, one step every 5 ms, holds the key without a break.
  for (int x = 504; x <= 520; ++x) {
    pad.move_x(x);
    std::this_thread::sleep_for(5ms);
  }
  events += keyboard.until_quiet(300ms);
  KeyEvents expected_events;
  for (int move = 0; move < 4; ++move) expected_events += {down(KEY_LEFTSHIFT), up(KEY_LEFTSHIFT)};
  EXPECT_EQ(events, expected_events) << "one-step moves were lost";
  end_with_a_keystroke(run, keyboard);
  input_absinfo after = {};
  ioctl(node, EVIOCGABS(ABS_X), &after);
  close(node);
  EXPECT_EQ(after.fuzz, 3) << "the device's own fuzz is put back";
  EXPECT_EQ(after.value, 520) << "and only the fuzz: the position stays";
}

// Only a player's controller reads without its X filter, from the end of
// the assignment, again after a re-plug, until the end; another controller
// (here one that player 2 did not take) keeps its filter throughout.
TEST_F(DeviceDiscovery, OnlyThePlayersControllersLoseTheirFilter) {
  constexpr AxisRange FILTERED = {0, 65535, 255, 1000};
  OnePlayer player;
  VirtualDevice other;
  ASSERT_TRUE(make_controller(player.pad, FILTERED, "usb-keyconv-test/input1"));
  ASSERT_TRUE(make_controller(other, FILTERED, "usb-keyconv-test/input2"));
  ASSERT_TRUE(player.start({.args = LONG_HOLD}));
  auto& [pad, run, keyboard] = player;
  EXPECT_EQ(pad.x_fuzz(), 0) << "player 1's";
  EXPECT_EQ(other.x_fuzz(), 255) << "nobody's";
  pad.destroy();
  ASSERT_TRUE(run.wait_for(on_terminal(expected::ERROR)));
  ASSERT_TRUE(make_controller(pad, FILTERED, "usb-keyconv-test/input1"));
  pad.move_x(3000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT));
  EXPECT_EQ(pad.x_fuzz(), 0) << "player 1's, back";
  EXPECT_EQ(other.x_fuzz(), 255) << "nobody's";
  end_with_a_keystroke(run, keyboard);
  EXPECT_EQ(pad.x_fuzz(), 255) << "player 1's, after the end";
  EXPECT_EQ(other.x_fuzz(), 255) << "nobody's, after the end";
}

// The filter goes off from the axis as the kernel has it then: a move
// during the assignment stays the axis's position, and the first step
// after the start, back to where the axis was when the program opened the
// controller, gives its key.
TEST_F(DeviceDiscovery, AMoveDuringTheAssignmentStaysTheAxissPosition) {
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad, {0, 65535, 255, 1000}));
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt({.args = LONG_HOLD}));
  ProgramKeyboard keyboard;
  ASSERT_TRUE(keyboard.open_when_there());
  std::this_thread::sleep_for(100ms);  // the controller is open
  pad.move_x(3000);
  ASSERT_TRUE(assign_players(run, pad));
  const input_absinfo converting = pad.x_axis();
  EXPECT_EQ(converting.fuzz, 0);
  EXPECT_EQ(converting.value, 3000) << "the position the filter went off with";
  pad.move_x(1000);
  EXPECT_EQ(keyboard.next(1000ms), down(KEY_LEFTCTRL)) << "the first step after the start";
  end_with_a_keystroke(run, keyboard);
}

}  // namespace
