// The Linux platform layer without devices: the uinput key mapping and its
// messages, and the timer slack.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "../src/core/linux/keyboard_uinput.h"

namespace {

TEST(UinputKeyboard, MapsVirtualKeysToEvdevKeysWithASyncEach) {
  const struct {
    BYTE vk;
    std::uint16_t code;
  } keys[] = {{VK_LSHIFT, KEY_LEFTSHIFT},
              {VK_LCONTROL, KEY_LEFTCTRL},
              {VK_RSHIFT, KEY_RIGHTSHIFT},
              {VK_RCONTROL, KEY_RIGHTCTRL}};
  for (const auto& key : keys) {
    for (DWORD flags : {0u, 1u, 2u, 3u}) {
      uinput_keyboard::KeyEvent events[2] = {};
      ASSERT_EQ(uinput_keyboard::events_for(key.vk, flags, events), 2);
      EXPECT_EQ(events[0].type, EV_KEY);
      EXPECT_EQ(events[0].code, key.code);
      EXPECT_EQ(events[0].value, (flags & 2u) != 0 ? 0 : 1)
          << "vk " << int{key.vk} << " flags " << flags;
      EXPECT_EQ(events[1].type, EV_SYN);
      EXPECT_EQ(events[1].code, SYN_REPORT);
    }
  }
  uinput_keyboard::KeyEvent events[2];
  EXPECT_EQ(uinput_keyboard::events_for(0x41, 0, events), 0);  // 'A' is not offered
  EXPECT_EQ(uinput_keyboard::events_for(0x10, 0, events), 0);  // nor plain VK_SHIFT
}

TEST(UinputKeyboard, MissingDeviceSaysHowToLoadTheModule) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard("/nonexistent/uinput"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("/nonexistent/uinput"), std::string::npos) << said;
  EXPECT_NE(said.find("sudo modprobe uinput"), std::string::npos) << said;
  EXPECT_NE(said.find("/etc/modules-load.d/"), std::string::npos) << said;
}

TEST(UinputKeyboard, DeniedDeviceNamesTheUdevRuleAndNeverRoot) {
  // A file this user may not open for writing: one without permissions, or
  // for root (who ignores those) a read-only sysfs file.
  char path[] = "/tmp/keyconv-uinput-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  chmod(path, 0);
  const char* denied = path;
  if (const int probe = open(denied, O_RDWR); probe >= 0) {
    close(probe);
    denied = "/sys/kernel/notes";
  }
  const int probe = open(denied, O_RDWR);
  const int error = errno;
  if (probe >= 0) close(probe);
  if (probe >= 0 || error != EACCES) {
    unlink(path);
    GTEST_SKIP() << "no file here refuses this user with EACCES";
  }
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard(denied));
  const std::string said = testing::internal::GetCapturedStderr();
  unlink(path);
  EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
  EXPECT_NE(said.find("60-keyconv-uinput.rules"), std::string::npos) << said;
  EXPECT_NE(said.find("udevadm"), std::string::npos) << said;
  EXPECT_EQ(said.find("sudo keyconv"), std::string::npos) << said;
}

TEST(UinputKeyboard, NotAUinputDeviceFails) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard("/dev/null"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot create a virtual keyboard through /dev/null"), std::string::npos)
      << said;
}

TEST(TimerSlack, LoweredForTheConversionAndPutBack) {
  const int before = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  ASSERT_GT(before, 1);
  EXPECT_EQ(timeBeginPeriod(1), 0u);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);
  EXPECT_EQ(timeEndPeriod(1), 0u);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), before);
}

}  // namespace
