// The controlling terminal: the keystroke check and the terminal's mode.
#if !defined(__linux__)
#error "console_tty.cc belongs to the Linux build only"
#endif

#include "console_tty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "../../platform.h"
#include "../signals/abnormal_end.h"
#include "../signals/signals_held.h"
#include "../signals/undo_list.h"

namespace {

// Shared with the signal handlers, which restore and take the mode.
volatile sig_atomic_t tty_fd = -1;
volatile sig_atomic_t mode_taken = 0;
termios own_mode;  // the terminal's mode before keyconv took it, while the change is recorded

// Written to when keyconv takes the terminal, often from a handler: a wait
// that began without the terminal then ends, to wait with it.
volatile sig_atomic_t taken_write_fd = -1;
int taken_read_fd = -1;

bool in_foreground(int fd) { return tcgetpgrp(fd) == getpgrp(); }

// tcsetattr from a background job would stop keyconv with SIGTTOU: the
// signal is held back around it, and the mode is only ever set in the
// foreground.

// The mode is read anew each time: the shell sets its own before it gives
// a job the terminal.
void take_mode() {
  const int fd = tty_fd;
  if (fd < 0 || mode_taken != 0) return;
  const SignalsHeld held(SIGTTOU);
  if (!in_foreground(fd) || tcgetattr(fd, &own_mode) != 0) return;
  termios raw_mode = own_mode;
  raw_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw_mode.c_cc[VMIN] = 1;
  raw_mode.c_cc[VTIME] = 0;
  record_change(Change::terminal_mode, 0, fd, 0);
  if (tcsetattr(fd, TCSANOW, &raw_mode) != 0) {
    undo_change(Change::terminal_mode, 0);
    return;
  }
  mode_taken = 1;
  const int taken = taken_write_fd;
  if (taken >= 0 && write(taken, "t", 1) < 0) return;  // a full pipe has said it already
}

// The change undone: the mode the terminal had. Async-signal-safe.
void give_mode_back(int fd, int /*value*/) {
  const SignalsHeld held(SIGTTOU);
  // TCSANOW, not TCSAFLUSH: the keystroke that ended the run stays queued.
  tcsetattr(fd, TCSANOW, &own_mode);
  mode_taken = 0;
}

}  // namespace

bool console_open(const char* path) {
  const int fd = open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  if (!isatty(fd)) {
    close(fd);
    return false;
  }
  int taken[2];
  if (pipe2(taken, O_NONBLOCK | O_CLOEXEC) == 0) {
    taken_read_fd = taken[0];
    taken_write_fd = taken[1];
  }
  // The shell gets its mode back while keyconv is stopped; keyconv takes
  // it again when it goes on in the foreground.
  set_change_actions(Change::terminal_mode,
                     {give_mode_back, ChangeActions::AtStop::forget, nullptr});
  set_continue_step(console_reenter);
  tty_fd = fd;
  console_reenter();
  return true;
}

void console_restore() { undo_change(Change::terminal_mode, 0); }

void console_reenter() {
  if (tty_fd < 0 || mode_taken != 0) return;
  // Signals stay out while the mode is read and set; in a handler they
  // are held back already.
  const SignalsHeld held;
  take_mode();
}

void console_close() {
  // Signals wait until the terminal is closed: a continue in between would
  // take its mode again.
  const SignalsHeld held;
  console_restore();
  const int fd = tty_fd;
  tty_fd = -1;
  if (fd >= 0) close(fd);
  for (const int pipe_end : {taken_read_fd, static_cast<int>(taken_write_fd)}) {
    if (pipe_end >= 0) close(pipe_end);
  }
  taken_read_fd = -1;
  taken_write_fd = -1;
}

bool console_present() { return tty_fd >= 0; }

int console_wait_fd() { return mode_taken != 0 ? static_cast<int>(tty_fd) : -1; }

int console_taken_fd() { return taken_read_fd; }

void console_forget_hung_up() {
  const SignalsHeld held;
  console_restore();  // fails on a terminal that hung up, and forgets its mode
  const int fd = tty_fd;
  tty_fd = -1;
  if (fd >= 0) close(fd);
}

// Looks for a waiting keystroke without taking it out of the input. In the
// background the keystrokes belong to the foreground job: none is reported
// until keyconv has the terminal. A hang-up is no keystroke.
int _kbhit() {
  const int fd = tty_fd;
  if (fd < 0) return 0;
  if (mode_taken == 0) {
    console_reenter();
    if (mode_taken == 0) return 0;
  }
  pollfd pending = {fd, POLLIN, 0};
  if (poll(&pending, 1, 0) <= 0) return 0;
  if ((pending.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    console_forget_hung_up();
    return 0;
  }
  return (pending.revents & POLLIN) != 0 ? 1 : 0;
}
