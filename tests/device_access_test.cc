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
  // No udev runs in the VM: no rule would apply.
  EXPECT_NE(run.output.find("  sudo chown player '/dev/uinput'"), std::string::npos) << run.output;
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
  // No udev runs in the VM: no rule would do anything.
  EXPECT_NE(run.output.find("  sudo chown player '" + denied.node() + "'"), std::string::npos)
      << run.output;
  run.type("q");
}

// A controller's name is what the device says, any bytes: one whose name
// would set the terminal's title and ring its bell is named with those
// bytes escaped, and nothing but printable text, CR and LF reaches the
// terminal.
TEST_F(DeviceDiscovery, AHostileControllerNameCannotDriveTheTerminal) {
  DeviceShape shape = real_devices::TURNTABLE;
  shape.name = "Pad\x1b]0;owned\x07\x1b[2J";
  VirtualDevice denied;
  ASSERT_TRUE(denied.make(shape, AT_REST));
  const UinputLent lent;
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt({.uid = PLAYER_UID}));
  ASSERT_TRUE(run.wait_for("cannot read the controller")) << run.output;
  std::this_thread::sleep_for(100ms);
  run.read_output();
  EXPECT_NE(run.output.find("\"Pad\\x1b]0;owned\\x07\\x1b[2J\""), std::string::npos) << run.output;
  for (const char byte : run.output) {
    const auto code = static_cast<unsigned char>(byte);
    EXPECT_TRUE(code == '\r' || code == '\n' || (code >= 0x20 && code != 0x7f))
        << "byte " << static_cast<int>(code) << " in:\n"
        << run.output;
  }
  run.type("q");
}

// A program that holds a controller for itself (EVIOCGRAB, as a remapper
// does) keeps every event from keyconv: keyconv names it while the prompt
// waits, and takes it as any other once the program lets go.
TEST_F(DeviceDiscovery, AControllerHeldByAnotherProgramIsNamedAndTakenOnceLetGo) {
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad));
  const int holder = open(pad.node().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(ioctl(holder, EVIOCGRAB, 1), 0);
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt());
  const std::string said =
      "keyconv: the controller \"Konami Amusement beatmania IIDX controller\" (" + pad.node() +
      ") is held by another program";
  EXPECT_TRUE(run.wait_for(said)) << run.output;
  EXPECT_TRUE(press_takes_no_player(run, pad, BTN_TRIGGER)) << "its events reached keyconv";
  ASSERT_EQ(ioctl(holder, EVIOCGRAB, 0), 0);
  close(holder);
  EXPECT_TRUE(press_until(run, pad, BTN_TRIGGER, "CntrID=0")) << run.output;
  EXPECT_EQ(run.output.find("held by"), run.output.rfind("held by")) << "named more than once";
  run.type("q");
}

}  // namespace
