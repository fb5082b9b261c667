// Which devices the program takes for controllers on a real kernel, how it
// reads their axis, how it follows them out and back in, and what it says
// when it may not open them.
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

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

TEST_F(DeviceDiscovery, DevicesThatAreNotControllersTakeNoPartAndAreNeverOpened) {
  using namespace real_devices;
  VirtualDevice others[5];
  const DeviceShape shapes[] = {LAPTOP_TOUCHPAD, GRAPHICS_TABLET, TOUCHSCREEN, VM_ABSOLUTE_MOUSE,
                                GAMEPAD_MOTION_SENSOR};
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(others[i].make(shapes[i], {0, 4095, 0, 100}));
  VirtualDevice& touchpad = others[0];
  touchpad.press(BTN_TOOL_FINGER);  // a finger resting on the touchpad
  touchpad.press(BTN_TOUCH);
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad));
  OpenWatch opens("/dev/input");

  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt());
  ProgramKeyboard keyboard;
  ASSERT_TRUE(keyboard.open_when_there());
  // Clicks at the 1P prompt.
  EXPECT_TRUE(press_takes_no_player(run, touchpad, BTN_LEFT));
  EXPECT_TRUE(press_takes_no_player(run, others[3], BTN_LEFT));
  EXPECT_EQ(run.output, on_terminal(expected::SETUP_1P));
  // The finger still rests on the touchpad: the release wait must end anyway.
  ASSERT_TRUE(assign_players(run, pad));

  touchpad.emit(EV_ABS, ABS_X, 2000);
  others[3].emit(EV_ABS, ABS_X, 2000);
  pad.move_x(3000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT));
  end_with_a_keystroke(run, keyboard);
  EXPECT_EQ(run.output, on_terminal(expected::started(-1))) << "the controller must get id 0";
  const std::multiset<std::string> opened = opens.opened();
  for (const VirtualDevice& other : others) {
    EXPECT_EQ(opened.count(base_name(other.node())), 0u) << other.node() << " was opened";
  }
  EXPECT_EQ(opened.count(base_name(pad.node())), 1u) << "the controller was never opened";
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

// Between a node's judgement and its open, its device may go and another
// take its number. Here sysfs describes a turntable at event7, whose node
// links to a real device: only the device judged may be opened, and any
// other is closed untouched, its fuzz as it was.
TEST_F(DeviceDiscovery, ANodeThatHoldsAnotherDeviceThanJudgedIsClosedUntouched) {
  const DeviceShape turntable = real_devices::TURNTABLE;
  DeviceShape other_name = turntable;
  other_name.name = "keyconv test other pad";
  DeviceShape other_caps = real_devices::GAMEPAD;
  other_caps.name = turntable.name;
  const struct {
    const char* what;
    DeviceShape shape;
    std::string phys;
    std::uint16_t judged_product;
    bool opened;
  } cases[] = {
      {"the device judged", turntable, InputTree::phys(7), 0x8048, true},
      {"other capabilities", other_caps, InputTree::phys(7), 0x8048, false},
      {"another name", other_name, InputTree::phys(7), 0x8048, false},
      {"another phys", turntable, "usb-keyconv-test/other", 0x8048, false},
      {"another product", turntable, InputTree::phys(7), 0x1010, false},
  };
  for (const auto& c : cases) {
    InputTree tree;
    tree.describe(7, turntable, c.judged_product);
    VirtualDevice device;
    ASSERT_TRUE(device.make(c.shape, {0, 1023, 5, 500}, c.phys.c_str())) << c.what;
    ASSERT_TRUE(tree.link_node(7, device.node())) << c.what;
    open_controllers(tree.paths());
    players_assigned({0, NO_CNTR});
    JOYINFOEX info = prepared_joy_info();
    EXPECT_EQ(joyGetPosEx(0, &info) == JOYERR_NOERROR, c.opened) << c.what;
    input_absinfo x_axis = {};
    const int node = open(device.node().c_str(), O_RDONLY | O_CLOEXEC);
    ioctl(node, EVIOCGABS(ABS_X), &x_axis);
    close(node);
    EXPECT_EQ(x_axis.fuzz, c.opened ? 0 : 5) << c.what;
    close_controllers();
  }
}

// A read that fails once, as it may while the device stays: one "Error"
// for that pass, and the controller is read on. A read that a signal
// interrupted is made again, without a word.
TEST_F(DeviceDiscovery, AReadThatFailsOnceIsOneErrorAndTheControllerStays) {
  const std::string control = "/tmp/keyconv-read-error";
  for (const auto& [error, errors] : {std::pair{"EIO", 1}, std::pair{"EINTR", 0}}) {
    OnePlayer player;
    ASSERT_TRUE(player.start(
        {.args = LONG_HOLD,
         .env = {std::string("LD_PRELOAD=") + READ_ERROR_SHIM, "KEYCONV_READ_ERROR=" + control}}));
    ASSERT_TRUE(player.turn_up()) << error;
    auto& [pad, run, keyboard] = player;
    const std::size_t before = run.output.size();
    std::ofstream(control) << error;
    for (int i = 0; i < 2000 && access(control.c_str(), F_OK) == 0; ++i) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_NE(access(control.c_str(), F_OK), 0) << error << ": no read failed";
    std::this_thread::sleep_for(100ms);
    pad.move_x(1000);
    EXPECT_EQ(keyboard.next(), up(KEY_LEFTSHIFT)) << error << ": the controller is read no more";
    EXPECT_EQ(keyboard.next(), down(KEY_LEFTCTRL)) << error;
    run.read_output();
    std::string said;
    for (int i = 0; i < errors; ++i) said += on_terminal(expected::ERROR);
    EXPECT_EQ(run.output.substr(before), said) << error;
    end_with_a_keystroke(run, keyboard);
  }
}

// A stopped reader's events are dropped once its buffer is full: the
// program catches up with the device's state, and a move whose event it
// never read still gives its key.
TEST_F(DeviceDiscovery, AMoveWhoseEventTheKernelDroppedStillGivesItsKey) {
  OnePlayer player;
  ASSERT_TRUE(player.start());
  auto& [pad, run, keyboard] = player;
  run.stop_and_continue([&pad] {
    pad.move_x(2000);
    for (int i = 0; i < 200; ++i) {
      pad.press(BTN_THUMB);
      pad.release(BTN_THUMB);
    }
  });
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT));
  end_with_a_keystroke(run, keyboard);
}

TEST_F(DeviceDiscovery, ARefusedControllerIsTakenOnceItsPermissionsChange) {
  expect_a_refused_controller_taken_once_permitted([](const VirtualDevice&) {});
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

TEST_F(DeviceDiscovery, AUserWhoMayNotUseUinputIsToldHowAndTheProgramEnds) {
  ProgramRun run;
  ASSERT_TRUE(run.start({.uid = PLAYER_UID}));
  EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::exited, 1}));
  EXPECT_NE(run.output.find("keyconv: cannot open /dev/uinput: Permission denied."),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("60-keyconv-uinput.rules"), std::string::npos) << run.output;
}

// As a desktop has it: the seat's user may read the controller (uaccess)
// and use /dev/uinput, but no keyboard or other input node.
TEST_F(DeviceDiscovery, AUserWhoMayReadOnlyTheControllerConvertsWithoutAWord) {
  VirtualDevice touchpad;
  VirtualDevice keyboard_device;
  ASSERT_TRUE(touchpad.make(real_devices::LAPTOP_TOUCHPAD, {0, 4095, 0, 0}));
  ASSERT_TRUE(keyboard_device.make(real_devices::KEYBOARD_WITH_EXTRA_BUTTONS));
  OnePlayer player;
  ASSERT_TRUE(make_controller(player.pad));
  ASSERT_EQ(chown(player.pad.node().c_str(), PLAYER_UID, PLAYER_UID), 0);
  const UinputLent lent;
  ASSERT_TRUE(player.start({.uid = PLAYER_UID}));
  player.turn_up_and_end();
  const ProgramRun& run = player.run;
  EXPECT_EQ(run.output.find("keyconv:"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("ermission"), std::string::npos) << run.output;
}

TEST_F(DeviceDiscovery, AControllerTheUserMayNotReadIsNamedOnce) {
  VirtualDevice readable;
  VirtualDevice denied;
  ASSERT_TRUE(make_controller(denied, {0, 65535, 0, 0}, "usb-keyconv-test/input3"));
  ASSERT_TRUE(make_controller(readable, {0, 65535, 0, 0}, "usb-keyconv-test/input4"));
  ASSERT_EQ(chown(readable.node().c_str(), PLAYER_UID, PLAYER_UID), 0);
  const UinputLent lent;

  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt({.uid = PLAYER_UID}));
  ASSERT_TRUE(press_until(run, readable, BTN_TRIGGER, "CntrID=0")) << run.output;
  ASSERT_TRUE(run.wait_for(on_terminal(expected::SETUP_2P)));
  const std::string said =
      "keyconv: cannot read the controller \"Konami Amusement beatmania IIDX controller\" (" +
      denied.node() + "): Permission denied.";
  EXPECT_NE(run.output.find(said), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("cannot read"), run.output.rfind("cannot read")) << run.output;
  EXPECT_NE(run.output.find("uaccess"), std::string::npos) << run.output;
  run.type("q");
}

TEST_F(DeviceDiscovery, AnAxisWithoutRangeReadsAsZeroAndMovesNoKey) {
  OnePlayer player;
  ASSERT_TRUE(player.start({}, {5, 5, 0, 5}));
  auto& [pad, run, keyboard] = player;
  pad.move_x(7);
  pad.move_x(3);
  EXPECT_TRUE(keyboard.until_quiet(200ms).empty());
  end_with_a_keystroke(run, keyboard);
}

TEST_F(DeviceDiscovery, OnlyTheFirst32ButtonsCount) {
  VirtualDevice pad;
  ASSERT_TRUE(pad.make({"keyconv test pad with 40 buttons",
                        code_range(BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40),
                        {ABS_X},
                        {},
                        {}}));
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt());
  EXPECT_TRUE(press_takes_no_player(run, pad, BTN_TRIGGER_HAPPY33)) << "the 33rd button counted";
  EXPECT_TRUE(press_until(run, pad, BTN_TRIGGER_HAPPY32, "CntrID=0")) << run.output;
  run.type("q");
}

TEST_F(DeviceDiscovery, ASeventeenthControllerGetsNoId) {
  VirtualDevice pads[17];
  for (int i = 0; i < 17; ++i) {
    const std::string phys = "usb-keyconv-test/input" + std::to_string(10 + i);
    ASSERT_TRUE(make_controller(pads[i], {}, phys.c_str()));
  }
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt());
  EXPECT_TRUE(press_takes_no_player(run, pads[16], BTN_TRIGGER));
  EXPECT_TRUE(press_until(run, pads[15], BTN_TRIGGER, "CntrID=15\r\n")) << run.output;
  run.type("q");
}

}  // namespace
