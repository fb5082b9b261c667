// Linux binding of the platform layer: the start and end of the backend
// (virtual keyboard, terminal, signals).
#if !defined(__linux__)
#error "platform_linux.cc belongs to the Linux build only"
#endif

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "../platform.h"
#include "console_tty.h"
#include "joystick_evdev.h"
#include "keyboard_uinput.h"
#include "signals.h"

namespace {

// Ctrl+C, SIGTERM and SIGHUP: give the terminal its mode back and destroy
// the virtual keyboard (the kernel then releases its held keys), then die of
// the same signal so the caller sees how the program ended.
void on_fatal_signal(int signal_number) {
  console_restore();
  uinput_keyboard::close_keyboard_now();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

// Ctrl+Z: a stopped converter must leave neither keys held nor the terminal
// in its mode. Both are given back before stopping; on SIGCONT the mode is
// set again, once the program is in the foreground (also after bg, then fg).
// A direction that lasts through the stop gets its key back at its next change.
void on_continue_signal(int) {
  const int saved_errno = errno;
  console_reenter();
  errno = saved_errno;
}

void on_stop_signal(int) {
  const int saved_errno = errno;
  console_restore();
  uinput_keyboard::release_all_now();
  std::signal(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  std::raise(SIGTSTP);  // stopped here until SIGCONT
  install(SIGTSTP, on_stop_signal);
  errno = saved_errno;
}

}  // namespace

void install_fatal_signal_handlers() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) install(signal_number, on_fatal_signal);
  install(SIGTSTP, on_stop_signal);
  install(SIGCONT, on_continue_signal);
}

bool platform_open() {
  // Created before the controllers are asked for, so the desktop has picked
  // the new keyboard up by the time the first key is sent.
  if (!uinput_keyboard::open_keyboard("/dev/uinput")) return false;
  install_fatal_signal_handlers();
  console_open("/dev/tty");
  return true;
}

void platform_close() {
  console_close();
  uinput_keyboard::close_keyboard();
  evdev_joystick::close_all();
}
