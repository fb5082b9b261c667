// The Linux platform layer without devices: the uinput keyboard's messages,
// and the timer slack.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "../src/core/linux/keyboard_uinput.h"

namespace {

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
