// How the program follows a controller out and back in on a real kernel:
// the same port, another port, two at once, and the X axis's filter of the
// players' controllers and of the others.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "../src/core/joy_info.h"
#include "../src/core/platform_hooks.h"
#include "device_support.h"
#include "expected_text.h"
#include "input_tree.h"
#include "open_watch.h"

namespace {

using namespace std::chrono_literals;
using DeviceDiscovery = DeviceTest;

// The controller is unplugged, then plugged back in: while a key is held,
// and at rest.
TEST_F(DeviceDiscovery, UnplugSaysErrorOncePerPassKeepsTheKeyAndReplugIsSeenAtOnce) {
  for (const bool holding : {true, false}) {
    const char* what = holding ? "holding a key" : "at rest";
    OnePlayer player;
    ASSERT_TRUE(player.start({.args = LONG_HOLD}));
    if (holding) {
      ASSERT_TRUE(player.turn_up());
    }
    auto& [pad, run, keyboard] = player;

    SyscallTrace trace;
    ASSERT_TRUE(trace.start(run.pid));
    const std::size_t before_unplug = run.output.size();
    pad.destroy();
    ASSERT_TRUE(run.wait_for(on_terminal(expected::ERROR))) << what;
    std::this_thread::sleep_for(200ms);
    const std::vector<SyscallTrace::Call> calls = trace.stop();
    EXPECT_EQ(keyboard.held(),
              holding ? std::vector<unsigned int>{KEY_LEFTSHIFT} : std::vector<unsigned int>{})
        << what << ": the key stays as it was";

    // From the first "Error" on, each pass writes it once and checks for a
    // keystroke once: error, poll, error, poll...
    std::string pattern;
    for (const SyscallTrace::Call& call : calls) {
      if (call.poll) pattern += 'p';
      if (!call.poll && call.fd == 1 && call.count == 6) pattern += 'E';
    }
    pattern = pattern.substr(std::min(pattern.find('E'), pattern.size()));
    EXPECT_GT(pattern.size(), 40u) << what;
    EXPECT_TRUE(std::regex_match(pattern, std::regex("(Ep)*E?"))) << what << ": " << pattern;

    const double replugged = monotonic_ms();
    ASSERT_TRUE(make_controller(pad, {0, 65535, 0, 500}));
    if (holding) {
      EXPECT_EQ(keyboard.next(), up(KEY_LEFTSHIFT)) << what;
    }
    const KeyEvent falling = keyboard.next();
    EXPECT_EQ(falling, down(KEY_LEFTCTRL))
        << what << ": the first read after the re-plug sees X fall";
    std::printf("re-plug %s: first read %.1f ms after the node appeared\n", what,
                falling.ms - replugged);
    EXPECT_LT(falling.ms - replugged, 100.0) << what;
    run.read_output();
    const std::string after_unplug = run.output.substr(before_unplug);
    const std::string errors_only(
        after_unplug.find_first_not_of("Error\r\n") == std::string::npos ? after_unplug : "");
    EXPECT_EQ(errors_only, after_unplug) << what << ": only \"Error\" lines while unplugged";
    end_with_a_keystroke(run, keyboard);
  }
}

TEST_F(DeviceDiscovery, ControllersUnpluggedTogetherComeBackWithTheirOwnIds) {
  TwoPlayers players;
  ASSERT_TRUE(players.start());
  auto& [pad_1p, pad_2p, run, keyboard] = players;
  pad_1p.destroy();
  pad_2p.destroy();
  ASSERT_TRUE(run.wait_for(on_terminal(expected::ERROR)));
  // Back in the other order: player 2's controller gets the lower node.
  ASSERT_TRUE(make_controller(pad_2p, AT_REST, "usb-keyconv-test/input2"));
  std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(make_controller(pad_1p, AT_REST, "usb-keyconv-test/input1"));
  std::this_thread::sleep_for(100ms);
  pad_1p.move_x(2000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT)) << "player 1's controller is player 1's";
  pad_2p.move_x(2000);
  EXPECT_EQ(keyboard.next(), down(KEY_RIGHTSHIFT)) << "player 2's controller is player 2's";
  end_with_a_keystroke(run, keyboard);
}

// Plugged back into another port (another phys), player 1's controller is
// player 1's again: no absent controller had that port, and it is of the
// model player 1's was.
TEST_F(DeviceDiscovery, AControllerPluggedBackIntoAnotherPortKeepsItsPlayer) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD}));
  auto& [pad, run, keyboard] = player;
  pad.destroy();
  ASSERT_TRUE(run.wait_for(on_terminal(expected::ERROR)));
  ASSERT_TRUE(make_controller(pad, AT_REST, "usb-keyconv-test/another-port"));
  std::this_thread::sleep_for(100ms);
  pad.move_x(2000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT)) << "player 1's key follows its controller";
  end_with_a_keystroke(run, keyboard);
}

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

}  // namespace
