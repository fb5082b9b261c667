// keybd_event as the Linux programs bind it, on a real kernel: what the
// virtual keyboard writes, and a signal that comes while it writes a key.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "../src/core/linux/keyboard_uinput.h"
#include "../src/core/linux/signals/abnormal_end.h"
#include "device_support.h"

namespace {

using namespace std::chrono_literals;
using DeviceKeyboard = DeviceTest;

// keybd_event as the Linux programs bind it, read back from the virtual
// keyboard: each of the four keys, sent with its scan code as key output
// sends it, for every flag, each event with its SYN_REPORT, and nothing for
// a key the keyboard does not offer. The key is told by its virtual key
// alone: both Controls share a scan code. The kernel drops a press of a
// key that is down, so presses and releases alternate.
TEST_F(DeviceKeyboard, WritesTheFourKeysWithASyncEachAndNothingElse) {
  ASSERT_TRUE(uinput_keyboard::open_keyboard("/dev/uinput"));
  ProgramKeyboard keyboard;
  ASSERT_TRUE(keyboard.open_when_there());
  const struct {
    BYTE vk;
    BYTE scan;
    unsigned int code;
  } keys[] = {{VK_LSHIFT, 0x2A, KEY_LEFTSHIFT},
              {VK_LCONTROL, 0x1D, KEY_LEFTCTRL},
              {VK_RSHIFT, 0x36, KEY_RIGHTSHIFT},
              {VK_RCONTROL, 0x1D, KEY_RIGHTCTRL}};
  KeyEvents written, expected_events;
  for (const auto& key : keys) {
    for (DWORD flags : {0u, 2u, 1u, 3u}) {
      keybd_event(key.vk, key.scan, flags, 0);
      written.push_back(keyboard.next());
      expected_events.push_back((flags & KEYEVENTF_KEYUP) != 0 ? up(key.code) : down(key.code));
    }
  }
  keybd_event(0x41, 0, 0, 0);  // 'A' is not offered
  keybd_event(0x10, 0, 0, 0);  // nor plain VK_SHIFT
  written += keyboard.until_quiet(100ms);
  uinput_keyboard::close_keyboard();
  EXPECT_EQ(written, expected_events);
}

}  // namespace

// Every write of this test binary, the backend's included, passes here;
// when armed with a signal, the first one raises it right after it is done.
volatile sig_atomic_t signal_after_the_next_write = 0;

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using Real = ssize_t (*)(int, const void*, size_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "write"));
  const ssize_t written = real(fd, data, size);
  if (const int signal_number = signal_after_the_next_write; signal_number != 0) {
    signal_after_the_next_write = 0;
    raise(signal_number);
  }
  return written;
}

namespace {

// A signal that comes while a key is written, before it is noted as held,
// still finds it held: the key goes up before the program ends. A SIGSEGV
// sent by another process is such a signal too, not a fault of its own.
TEST_F(DeviceKeyboard, ASignalWhileAKeyIsWrittenFindsItHeld) {
  for (const int signal_number : {SIGTERM, SIGSEGV}) {
    // The job makes its keyboard, says so, and writes a key once a line is typed.
    Job job;
    ASSERT_TRUE(job.start(
        [signal_number] {
          install_signal_handlers();
          if (!uinput_keyboard::open_keyboard("/dev/uinput")) return 10;
          char typed = 0;
          if (write(STDOUT_FILENO, "ready\n", 6) != 6 || read(STDIN_FILENO, &typed, 1) != 1)
            return 11;
          signal_after_the_next_write = signal_number;
          keybd_event(VK_LSHIFT, 0, 0, 0);
          return 12;  // not reached: the signal ends it
        },
        Terminal::own));
    ASSERT_TRUE(job.wait_for("ready"));
    ProgramKeyboard keyboard;
    ASSERT_TRUE(keyboard.open_when_there());
    job.type("\n");
    std::this_thread::sleep_for(20ms);  // a game reads its input once a frame
    EXPECT_EQ(keyboard.until_gone(), (KeyEvents{down(KEY_LEFTSHIFT), up(KEY_LEFTSHIFT)}))
        << strsignal(signal_number);
    EXPECT_EQ(job.wait(), (JobStatus{JobStatus::signaled, signal_number}));
  }
}

}  // namespace
