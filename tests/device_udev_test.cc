// The udev path, with a udev daemon running: udev says which devices are
// controllers, users' rules decide for keyconv too, and the monitor brings
// re-plugged controllers back. The VM runs these after the others, with
// Debian's udev started.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../src/core/linux/controllers/know/device_class.h"
#include "device_support.h"
#include "expected_text.h"

namespace {

using namespace std::chrono_literals;
using DeviceUdev = UdevTest;

std::string database_entry(const VirtualDevice& device) {
  struct stat info;
  if (stat(device.node().c_str(), &info) != 0) return "";
  return "/run/udev/data/c" + std::to_string(major(info.st_rdev)) + ":" +
         std::to_string(minor(info.st_rdev));
}

// Waits until udev has finished with the device; its properties then. The
// queue is let run dry first: a node number just freed may still have its
// old device's entry.
std::string udev_properties(const VirtualDevice& device) {
  if (std::system("udevadm settle --timeout=10") != 0) ADD_FAILURE() << "udev did not settle";
  for (int i = 0; i < 500; ++i) {
    std::ifstream entry(database_entry(device));
    if (entry) {
      std::string text((std::istreambuf_iterator<char>(entry)), std::istreambuf_iterator<char>());
      if (text.find("E:ID_INPUT=1") != std::string::npos) return text;
    }
    std::this_thread::sleep_for(10ms);
  }
  return "";
}

bool udev_says_joystick(const VirtualDevice& device) {
  return udev_properties(device).find("E:ID_INPUT_JOYSTICK=1\n") != std::string::npos;
}

TEST_F(DeviceUdev, TheRulesWithoutUdevAgreeWithUdevOnRealDevices) {
  using namespace real_devices;
  const DeviceShape shapes[] = {
      LAPTOP_TOUCHPAD,
      TOUCHSCREEN,
      GRAPHICS_TABLET,
      VM_ABSOLUTE_MOUSE,
      GAMEPAD_MOTION_SENSOR,
      GAMEPAD_TOUCHPAD,
      GAMEPAD,
      TURNTABLE,
      KEYBOARD_WITH_EXTRA_BUTTONS,
      KEYCONV_KEYBOARD,
      MANY_BUTTON_MOUSE,
      {"pedals", {}, {ABS_RX, ABS_RY}, {}, {}},
      {"X with a d-pad and a trigger", {BTN_DPAD_UP, BTN_TRIGGER}, {ABS_X}, {}, {}},
      {"X and Y and two triggers", {BTN_TRIGGER, BTN_THUMB}, {ABS_X, ABS_Y}, {}, {}},
      {"a spinner with one button", {BTN_TRIGGER}, {ABS_X}, {}, {}},
      {"X, Y and one button", {BTN_TRIGGER}, {ABS_X, ABS_Y}, {}, {}},
      {"a keyboard with three joystick buttons",
       {KEY_LEFTCTRL, KEY_CAPSLOCK, KEY_NUMLOCK, KEY_INSERT, BTN_TRIGGER, BTN_THUMB, BTN_THUMB2},
       {ABS_X},
       {},
       {}},
  };
  for (const DeviceShape& shape : shapes) {
    VirtualDevice device;
    ASSERT_TRUE(device.make(shape, {0, 1023, 0, 0})) << shape.name;
    const bool joystick = classify_device(caps_of(shape)) == DeviceClass::joystick;
    EXPECT_EQ(udev_says_joystick(device), joystick) << shape.name << "\n"
                                                    << udev_properties(device);
  }
}

struct RuleFile {
  std::string path;
  explicit RuleFile(const std::string& rules) : path("/etc/udev/rules.d/61-keyconv-test.rules") {
    std::ofstream(path) << rules;
    reload();
  }
  ~RuleFile() {
    unlink(path.c_str());
    reload();
  }
  static void reload() {
    if (std::system("udevadm control --reload") != 0) ADD_FAILURE() << "udev did not reload";
  }
};

// The README's way to make keyconv take a device, and its opposite.
TEST_F(DeviceUdev, UdevDecidesSoAUsersRuleMakesOrUnmakesAController) {
  const RuleFile rules(
      "SUBSYSTEM==\"input\", ATTRS{name}==\"keyconv test knob\", "
      "ENV{ID_INPUT_JOYSTICK}=\"1\", TAG+=\"uaccess\"\n"
      "SUBSYSTEM==\"input\", ATTRS{name}==\"keyconv test excluded pad\", "
      "ENV{ID_INPUT_JOYSTICK}=\"\"\n");
  VirtualDevice excluded;
  ASSERT_TRUE(
      excluded.make({"keyconv test excluded pad", {BTN_TRIGGER, BTN_THUMB}, {ABS_X}, {}, {}}));
  // Touch and X and Y: a touchscreen to the capability rules.
  VirtualDevice knob;
  ASSERT_TRUE(knob.make({"keyconv test knob", {BTN_TOUCH, BTN_TRIGGER}, {ABS_X, ABS_Y}, {}, {}},
                        {0, 65535, 0, 1000}));
  ASSERT_FALSE(udev_says_joystick(excluded));
  ASSERT_TRUE(udev_says_joystick(knob));

  ProgramRun run;
  ProgramKeyboard keyboard;
  ASSERT_TRUE(run.start_at_1p_prompt());
  ASSERT_TRUE(keyboard.open_when_there());
  EXPECT_TRUE(press_takes_no_player(run, excluded, BTN_TRIGGER)) << "the excluded pad was taken";
  ASSERT_TRUE(assign_players(run, knob));
  EXPECT_NE(run.output.find("CntrID=0"), std::string::npos) << "the knob is the only controller";
  knob.move_x(2000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT));
  end_with_a_keystroke(run, keyboard);
}

TEST_F(DeviceUdev, AReplugComesBackThroughTheMonitor) {
  OnePlayer player;
  ASSERT_TRUE(make_controller(player.pad));
  ASSERT_TRUE(udev_says_joystick(player.pad));
  ASSERT_TRUE(player.start({.args = LONG_HOLD}));
  ASSERT_TRUE(player.turn_up());
  auto& [pad, run, keyboard] = player;
  pad.destroy();
  ASSERT_TRUE(run.wait_for(on_terminal(expected::ERROR)));
  const double replugged = monotonic_ms();
  ASSERT_TRUE(make_controller(pad, {0, 65535, 0, 500}));
  // udev has finished with the node (and set its permissions) once its
  // database entry is there; the monitor's event follows.
  struct stat entry;
  while (stat(database_entry(pad).c_str(), &entry) != 0 && monotonic_ms() - replugged < 5000) {
    usleep(200);
  }
  const double settled = monotonic_ms();
  const KeyEvent let_go = keyboard.next();
  EXPECT_EQ(let_go, up(KEY_LEFTSHIFT));
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTCTRL));
  std::printf(
      "re-plug under udev: first read %.1f ms after the node appeared, %.1f ms after "
      "udev finished with it\n",
      let_go.ms - replugged, let_go.ms - settled);
  EXPECT_LT(let_go.ms - settled, 100.0);
  end_with_a_keystroke(run, keyboard);
}

// logind gives the seat's user a controller without a udev event.
TEST_F(DeviceUdev, ARefusedControllerIsTakenOnceItsPermissionsChange) {
  expect_a_refused_controller_taken_once_permitted(
      [](const VirtualDevice& pad) { ASSERT_TRUE(udev_says_joystick(pad)); });
}

// Where udev runs, a refused controller is named with the cause that
// applies: what logind says of its seat (in its files under /run/systemd,
// which elogind keeps too), or that no logind runs.
TEST_F(DeviceUdev, ARefusedControllerIsNamedWithTheCauseLogindGives) {
  const struct {
    const char* what;
    const char* seat_file;  // nullptr: no logind
    const char* said;
  } cases[] = {
      {"no logind", nullptr, "OWNER=\"player\"' | sudo tee -a"},
      {"nobody at the seat", "IS_SEAT0=1\nCAN_GRAPHICAL=1\n", "nobody's is at seat0"},
      {"root at the seat", "IS_SEAT0=1\nACTIVE=1\nACTIVE_UID=0\n", "at seat0 that is root"},
  };
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad));
  ASSERT_TRUE(udev_says_joystick(pad));
  ASSERT_EQ(chmod(pad.node().c_str(), 0600), 0);
  const UinputLent lent;
  for (const auto& c : cases) {
    std::filesystem::remove_all("/run/systemd/seats");
    if (c.seat_file != nullptr) {
      std::filesystem::create_directories("/run/systemd/seats");
      std::ofstream("/run/systemd/seats/seat0") << c.seat_file;
    }
    ProgramRun run;
    ASSERT_TRUE(run.start_at_1p_prompt({.uid = PLAYER_UID})) << c.what;
    EXPECT_TRUE(run.wait_for(c.said)) << c.what << ":\n" << run.output;
    run.type("q");
  }
  std::filesystem::remove_all("/run/systemd/seats");
}

// udev runs, yet its database has no entry for these nodes: the capability
// rules decide for them.
TEST_F(DeviceUdev, NodesWithoutADatabaseEntryAreJudgedByTheirCapabilities) {
  VirtualDevice touchpad;
  ASSERT_TRUE(touchpad.make(real_devices::LAPTOP_TOUCHPAD, {0, 4095, 0, 0}));
  OnePlayer player;
  ASSERT_TRUE(make_controller(player.pad));
  ASSERT_FALSE(udev_properties(touchpad).empty());
  ASSERT_TRUE(udev_says_joystick(player.pad));
  ASSERT_EQ(unlink(database_entry(touchpad).c_str()), 0);
  ASSERT_EQ(unlink(database_entry(player.pad).c_str()), 0);
  touchpad.press(BTN_TOUCH);

  ASSERT_TRUE(player.start());
  EXPECT_NE(player.run.output.find("CntrID=0"), std::string::npos) << player.run.output;
  player.turn_up_and_end();
}

}  // namespace
