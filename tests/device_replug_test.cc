// How the program follows a controller out and back in on a real kernel:
// the same port, another port, two at once, a device directory made anew.
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

// Makes /dev/input anew, holding the nodes it held: links to them are kept
// aside, the directory removed, made again, and the links put back. They
// are the nodes the kernel made, so it still removes them with their
// devices. Or the directory is moved aside whole, the new one made with
// links to its nodes: then nothing reports the old nodes gone, and
// remove_moved_directory() removes it later.
bool make_device_directory_anew(bool moved = false) {
  const fs::path input = "/dev/input";
  const fs::path aside = "/dev/input-aside";
  std::error_code error;
  if (moved) {
    fs::rename(input, aside, error);
  } else {
    fs::create_directory(aside, error);
    for (const fs::directory_entry& node : fs::directory_iterator(input, error)) {
      if (node.is_character_file())
        fs::create_hard_link(node, aside / node.path().filename(), error);
    }
    fs::remove_all(input, error);
  }
  fs::create_directory(input, error);
  for (const fs::directory_entry& node : fs::directory_iterator(aside, error)) {
    if (node.is_character_file()) fs::create_hard_link(node, input / node.path().filename(), error);
  }
  if (!moved) fs::remove_all(aside, error);
  return !error;
}

void remove_moved_directory() { fs::remove_all("/dev/input-aside"); }

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

// /dev/input removed and made again with its nodes, as a container makes
// /dev anew, while the program reads nothing: its watch follows the new
// directory, and the player's controller unplugged and plugged back in
// there drives the player's key again.
TEST_F(DeviceDiscovery, AControllerReplugsIntoADeviceDirectoryMadeAnew) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD}));
  auto& [pad, run, keyboard] = player;
  run.stop_and_continue([] { EXPECT_TRUE(make_device_directory_anew()); });
  std::this_thread::sleep_for(100ms);
  pad.destroy();
  ASSERT_TRUE(run.wait_for(on_terminal(expected::ERROR)));
  ASSERT_TRUE(make_controller(pad));
  std::this_thread::sleep_for(100ms);
  pad.move_x(2000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT)) << "player 1's key follows its controller";
  end_with_a_keystroke(run, keyboard);
}

// /dev/input moved away and made anew, and the controller unplugged and
// plugged back in there, while the program reads nothing: the watch loses
// these changes and lists the new directory, where the kernel has given the
// controller the node number it had. The node is another device now, and
// the program's descriptor of the old one reads nothing.
TEST_F(DeviceDiscovery, AControllerBackAtItsOldNumberWhileChangesWereLostIsOpenedAnew) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD}));
  auto& [pad, run, keyboard] = player;
  const std::string node = pad.node();
  run.stop_and_continue([&] {
    EXPECT_TRUE(make_device_directory_anew(true));
    pad.destroy();
    EXPECT_TRUE(make_controller(pad));
  });
  ASSERT_EQ(pad.node(), node) << "the kernel gave it another number";
  std::this_thread::sleep_for(100ms);
  remove_moved_directory();
  pad.move_x(2000);
  EXPECT_EQ(keyboard.next(), down(KEY_LEFTSHIFT)) << "player 1's key follows its controller";
  run.read_output();
  EXPECT_EQ(run.output.find("Error"), std::string::npos) << "read the old device";
  end_with_a_keystroke(run, keyboard);
}

}  // namespace
