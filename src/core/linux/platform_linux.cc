// Linux binding of the platform layer: the start and end of the backend
// (virtual keyboard, signals, terminal, controllers) and the end of the
// assignment. The operations of the seam live in:
//   joyGetNumDevs, joyGetPosEx        controllers/read/joystick_evdev.cc
//   keybd_event                       keyboard_uinput.cc
//   timeBeginPeriod, timeEndPeriod    pacing/timer_slack.cc
//   Sleep                             pacing/sleep_posix.cc
//   _kbhit                            terminal/console_tty.cc
//   pause_between_passes              pacing/pass_pause.cc
//   msg_printf                        ../msg_printf_stdio.cc
// What a signal undoes is recorded in signals/undo_list.cc by the unit that
// makes each change; the handlers are in signals/abnormal_end.cc.
#if !defined(__linux__)
#error "platform_linux.cc belongs to the Linux build only"
#endif

#include <unistd.h>

#include <cerrno>

#include "../platform.h"
#include "../platform_hooks.h"
#include "controllers/read/controller_table.h"
#include "keyboard_uinput.h"
#include "program_say.h"
#include "signals/abnormal_end.h"
#include "terminal/console_tty.h"

bool platform_open() {
  // Created before the controllers are asked for, so the desktop has picked
  // the new keyboard up by the time the first key is sent.
  if (!uinput_keyboard::open_keyboard("/dev/uinput")) return false;
  install_signal_handlers();
  if (!console_open("/dev/tty")) {
    // Nobody can type Ctrl+C where there is no terminal.
    const int pid = static_cast<int>(getpid());
    say_as(program_invocation_short_name,
           "there is no terminal, so no keystroke can end %s (process %d).\n"
           "SIGTERM ends it and lets go of every key:\n"
           "  kill %d\n"
           "Started by a service manager, it ends when its service is stopped there.",
           program_invocation_short_name, pid, pid);
  }
  // The device watch runs from here to the end: every change among the
  // nodes is followed, whether a player waits for a controller or not.
  open_controllers(SYSTEM_INPUT_PATHS);
  return true;
}

void players_assigned(const CntrIds& ids) { controllers_of_players(ids); }

// The undo list lets go of the keys at a signal (signals/undo_list.h), and
// the kernel at any other end.
void on_sudden_end(void (* /*let_go*/)()) {}

bool stop_requested() { return false; }

void platform_close() {
  console_close();
  uinput_keyboard::close_keyboard();
  close_controllers();
}
