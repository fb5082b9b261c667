#include "device_fixtures.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

// A case that hangs would hold up the whole VM run until its time limit. An
// alarm ends the run after a minute instead, naming the case and showing
// where the test waits.
char watched_case[256];

void on_hung_case(int) {
  char said[400];
  const int length = std::snprintf(said, sizeof said,
                                   "\nwatchdog: %s hung; where the test waits:\n", watched_case);
  if (write(STDOUT_FILENO, said, static_cast<std::size_t>(length)) < 0) _exit(3);
  void* frames[64];
  backtrace_symbols_fd(frames, backtrace(frames, 64), STDOUT_FILENO);
  _exit(3);
}

struct Watchdog : ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& info) override {
    std::snprintf(watched_case, sizeof watched_case, "%s.%s", info.test_suite_name(), info.name());
    alarm(60);
  }
  void OnTestEnd(const ::testing::TestInfo&) override { alarm(0); }
};

const bool watchdog_installed = [] {
  void* frame;
  backtrace(&frame, 1);  // loads what backtrace needs now, not in the handler
  signal(SIGALRM, on_hung_case);
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return true;
}();

}  // namespace

std::string device_tests_unavailable() {
  const char* wanted = std::getenv("KEYCONV_DEVICE_TESTS");
  if (wanted == nullptr || *wanted == '\0') {
    return "device tests make virtual input devices, which would type into this machine's "
           "desktop: they run in the test VM (ctest -L vm), or here with KEYCONV_DEVICE_TESTS=1";
  }
  const int probe = open("/dev/uinput", O_RDWR | O_CLOEXEC);
  if (probe < 0) return std::string("/dev/uinput cannot be opened: ") + std::strerror(errno);
  close(probe);
  return "";
}

std::string udev_tests_unavailable() {
  std::string missing = device_tests_unavailable();
  if (missing.empty() && access("/run/udev/control", F_OK) != 0) {
    missing = "no udev daemon runs here: the VM starts one for these";
  }
  return missing;
}

bool device_tests_required() {
  const char* wanted = std::getenv("KEYCONV_DEVICE_TESTS");
  return wanted != nullptr && std::strcmp(wanted, "required") == 0;
}

std::string vm_accelerator() {
  std::ifstream command_line("/proc/cmdline");
  std::string word;
  while (command_line >> word) {
    if (word.rfind("keyconv.accel=", 0) == 0) return word.substr(14);
  }
  return "";
}
