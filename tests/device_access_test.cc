// What the program does on a real kernel when the user may not open a
// device: /dev/uinput, a controller, or anything but the controller.
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

TEST_F(DeviceDiscovery, ARefusedControllerIsTakenOnceItsPermissionsChange) {
  expect_a_refused_controller_taken_once_permitted([](const VirtualDevice&) {});
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

}  // namespace
