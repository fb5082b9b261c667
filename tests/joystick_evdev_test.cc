// The Linux controller backend against a device directory and a sysfs tree
// made in a temporary directory: which nodes it opens, what it says about
// nodes it may not open, and how it notices new ones. Real devices are
// tested in the VM (device tests).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "../src/core/linux/controllers/know/input_sysfs.h"
#include "../src/core/linux/controllers/read/controller_table.h"
#include "../src/core/linux/controllers/read/evdev_events.h"
#include "../src/core/platform.h"
#include "input_tree.h"
#include "open_watch.h"
#include "pasted_commands.h"
#include "real_devices.h"

namespace {

void probe_every_id(int times) {
  JOYINFOEX info = {};
  for (int i = 0; i < times; ++i) {
    for (UINT id = 0; id < joyGetNumDevs(); ++id) joyGetPosEx(id, &info);
  }
}

TEST(EvdevJoystick, ScalesTheAxisOntoTheWindowsRange) {
  const struct {
    int value, minimum, maximum;
    std::uint32_t expected;
  } cases[] = {
      {0, 0, 255, 0},
      {255, 0, 255, 65535},
      {128, 0, 255, 32896},
      {1, 0, 1023, 64},
      {1, 0, 2, 32768},
      {-32768, -32768, 32767, 0},
      {0, -32768, 32767, 32768},
      {32767, -32768, 32767, 65535},
      {-5, 0, 255, 0},
      {300, 0, 255, 65535},
      {7, 7, 7, 0},
      {0, 0, 65535, 0},
      {40000, 0, 65535, 40000},
      {2147483647, -2147483647 - 1, 2147483647, 65535},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scale_axis(c.value, c.minimum, c.maximum), c.expected)
        << c.value << " in " << c.minimum << ".." << c.maximum;
  }
}

TEST(EvdevJoystick, ReadsEventNodeNumbers) {
  const struct {
    const char* name;
    int expected;
  } cases[] = {{"event0", 0}, {"event9", 9}, {"event10", 10}, {"event", -1},
               {"js0", -1},   {"mice", -1},  {"event1a", -1}, {"by-id", -1}};
  for (const auto& c : cases) EXPECT_EQ(event_node_number(c.name), c.expected) << c.name;
}

TEST(EvdevJoystick, OpensNoNodeThatIsNotAController) {
  using namespace real_devices;
  InputTree tree;
  const DeviceShape others[] = {LAPTOP_TOUCHPAD,       GRAPHICS_TABLET,
                                TOUCHSCREEN,           VM_ABSOLUTE_MOUSE,
                                GAMEPAD_MOTION_SENSOR, KEYBOARD_WITH_EXTRA_BUTTONS,
                                KEYCONV_KEYBOARD};
  int number = 0;
  for (const DeviceShape& shape : others) {
    tree.describe(number, shape);
    tree.add_open_node(number++);
  }
  tree.describe(number, TURNTABLE);
  tree.add_open_node(number);
  OpenWatch watch(tree.dev);

  open_controllers(tree.paths());
  probe_every_id(3);
  const std::multiset<std::string> expected = {"(the directory)", "event7"};
  EXPECT_EQ(watch.opened(), expected) << "only the turntable's node is opened";
  JOYINFOEX info = {};
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS) << "a plain file is no event device";
}

TEST(EvdevJoystick, ADeniedControllerIsNamedOnceAndNothingElseEver) {
  InputTree tree;
  tree.describe(2, real_devices::KEYBOARD_WITH_EXTRA_BUTTONS);
  tree.describe(3, real_devices::TURNTABLE, 0x1010);
  tree.describe(4, real_devices::TURNTABLE, 0x1011);
  if (!tree.add_denied_node(2) || !tree.add_denied_node(3) || !tree.add_denied_node(4)) {
    GTEST_SKIP() << "no file here refuses this user with EACCES";
  }
  testing::internal::CaptureStderr();
  open_controllers(tree.paths());
  probe_every_id(2);
  const std::string said = testing::internal::GetCapturedStderr();

  EXPECT_NE(
      said.find("cannot read the controller \"Konami Amusement beatmania IIDX controller\" (" +
                tree.node(3) + "): Permission denied"),
      std::string::npos)
      << said;
  // The message names the program (here the test's own) on its first line;
  // its commands paste as printed. No udev runs for this tree: no rule
  // would apply, and nobody would be given the node.
  EXPECT_EQ(said.rfind(std::string(program_invocation_short_name) + ": cannot read", 0), 0u)
      << said;
  const std::vector<std::string> commands = command_lines(said);
  EXPECT_EQ(commands.size(), 1u) << said;
  for (const std::string& command : commands) EXPECT_TRUE(bash_parses(command)) << command;
  EXPECT_TRUE(run_as_pasted(commands, "/")) << said;
  EXPECT_NE(said.find("no udev runs here"), std::string::npos) << said;
  EXPECT_NE(said.find("  sudo chown "), std::string::npos) << said;
  EXPECT_EQ(said.find("ATTRS{"), std::string::npos) << said;
  EXPECT_EQ(said.find("group"), std::string::npos) << said;
  EXPECT_EQ(said.find("usermod"), std::string::npos) << said;
  EXPECT_EQ(said.find("cannot"), said.rfind("cannot")) << "said more than once:\n" << said;
  EXPECT_EQ(said.find(tree.node(2)), std::string::npos) << "named the keyboard:\n" << said;
}

TEST(EvdevJoystick, NoticesNewNodesAndLooksAtNothingWhileNothingChanges) {
  InputTree tree;
  OpenWatch watch(tree.dev);
  testing::internal::CaptureStderr();
  open_controllers(tree.paths());
  probe_every_id(100);
  EXPECT_EQ(watch.opened().size(), 1u) << "one listing at the start, none after";

  tree.describe(0, real_devices::LAPTOP_TOUCHPAD);
  tree.add_open_node(0);
  tree.describe(5, real_devices::TURNTABLE);
  const bool denied = tree.add_denied_node(5);
  watch.opened();  // the test's own opens
  JOYINFOEX info = {};
  EXPECT_EQ(joyGetPosEx(9, &info), JOYERR_PARMS);
  const std::string said = testing::internal::GetCapturedStderr();
  if (denied) {
    EXPECT_NE(said.find(tree.node(5) + "): Permission denied"), std::string::npos) << said;
  }
  const std::multiset<std::string> opened = watch.opened();
  EXPECT_EQ(opened.count("event0"), 0u) << "the touchpad was opened";
  EXPECT_EQ(opened.count("(the directory)"), 0u) << "listed the directory again";
  probe_every_id(50);
  EXPECT_TRUE(watch.opened().empty()) << "nothing changed, yet something was opened";
}

// Where udev does not run, a device directory that is removed and made
// again (as a container makes /dev anew) is watched again, and what it
// holds is taken in: whether a read comes between the two or not, and
// while a node open in the old directory (as a controller being read)
// keeps that from reporting its own removal.
TEST(EvdevJoystick, ADeviceDirectoryRemovedAndMadeAgainIsWatchedAgain) {
  const struct {
    const char* what;
    bool probed_between, node_held_open;
  } cases[] = {
      {"a read between", true, false},
      {"no read between", false, false},
      {"no read between, a node held open", false, true},
  };
  for (const auto& c : cases) {
    InputTree tree;
    tree.describe(3, real_devices::TURNTABLE);
    tree.add_open_node(3);
    open_controllers(tree.paths());
    probe_every_id(1);
    const int held = c.node_held_open ? open(tree.node(3).c_str(), O_RDONLY | O_CLOEXEC) : -1;
    fs::remove_all(tree.dev);
    if (c.probed_between) probe_every_id(1);
    fs::create_directories(tree.dev);
    tree.add_open_node(3);  // the directory comes with its node
    OpenWatch watch(tree.dev);
    probe_every_id(1);
    EXPECT_EQ(watch.opened(), (std::multiset<std::string>{"(the directory)", "event3"}))
        << c.what << ": the directory listed again and its controller opened";
    tree.describe(4, real_devices::TURNTABLE);
    tree.add_open_node(4);
    watch.opened();  // the test's own open
    probe_every_id(1);
    EXPECT_EQ(watch.opened(), (std::multiset<std::string>{"event4"})) << c.what << ": a new node";
    if (held >= 0) close(held);
  }
}

// A controller that goes away between its description and the open: its
// node is listed, but opening it finds nothing (here a link to nowhere).
// Nothing is said, and no id is taken.
TEST(EvdevJoystick, AControllerGoneBeforeItsOpenIsPassedOverQuietly) {
  InputTree tree;
  tree.describe(4, real_devices::TURNTABLE);
  ASSERT_EQ(symlink("/nonexistent/event4", tree.node(4).c_str()), 0);
  testing::internal::CaptureStderr();
  open_controllers(tree.paths());
  JOYINFOEX info = {};
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS);
  tree.add_open_node(5);  // then another node comes and is no event device
  tree.describe(5, real_devices::GAMEPAD);
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(EvdevJoystick, IdsOutsideTheTableAnswerJoyerrParms) {
  InputTree tree;
  open_controllers(tree.paths());
  JOYINFOEX info = {};
  EXPECT_EQ(joyGetNumDevs(), 16u);
  for (UINT id : {0u, 15u, 16u, 1000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(joyGetPosEx(id, &info), JOYERR_PARMS) << id;
  }
}

}  // namespace
