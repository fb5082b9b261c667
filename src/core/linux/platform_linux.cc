// Linux binding of the platform layer: the start and end of the backend
// (virtual keyboard, signals, terminal, controllers). The operations of the
// seam live in:
//   joyGetNumDevs, joyGetPosEx        joystick_evdev.cc, over controller_table.cc
//   keybd_event                       keyboard_uinput.cc
//   timeBeginPeriod, timeEndPeriod    timer_slack.cc
//   Sleep                             sleep_posix.cc
//   _kbhit                            console_tty.cc
//   msg_printf                        ../msg_printf_stdio.cc
#if !defined(__linux__)
#error "platform_linux.cc belongs to the Linux build only"
#endif

#include <cstdio>

#include "../platform.h"
#include "console_tty.h"
#include "controller_table.h"
#include "keyboard_uinput.h"
#include "signals.h"

bool platform_open() {
  // Created before the controllers are asked for, so the desktop has picked
  // the new keyboard up by the time the first key is sent.
  if (!uinput_keyboard::open_keyboard("/dev/uinput")) return false;
  install_signal_handlers();
  if (!console_open("/dev/tty")) {
    std::fprintf(stderr,
                 "keyconv: there is no terminal, so no keystroke can end keyconv. "
                 "Ctrl+C or SIGTERM ends it and lets go of every key.\n");
  }
  return true;
}

void players_assigned(const CntrIds& ids) { controllers_of_players(ids); }

bool stop_requested() { return false; }

void platform_close() {
  console_close();
  uinput_keyboard::close_keyboard();
  close_controllers();
}
