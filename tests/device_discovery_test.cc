// Which devices the program takes for controllers on a real kernel, and
// how it reads their axis and buttons, a failing read and dropped events.
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
