#if !defined(__linux__)
#error "console_tty.cc belongs to the Linux build only"
#endif

#include "console_tty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "../platform.h"

namespace {

int tty_fd = -1;
termios saved_mode;
termios raw_mode;
volatile bool mode_changed = false;

bool in_foreground(int fd) {
  const pid_t foreground = tcgetpgrp(fd);
  return foreground == -1 || foreground == getpgrp();
}

}  // namespace

void console_open(const char* path) {
  const int fd = open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  // In a background job the keystrokes belong to the shell's foreground job,
  // and changing the mode would stop this process with SIGTTOU.
  if (!in_foreground(fd) || tcgetattr(fd, &saved_mode) != 0) {
    close(fd);
    return;
  }
  raw_mode = saved_mode;
  raw_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw_mode.c_cc[VMIN] = 1;
  raw_mode.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &raw_mode) != 0) {
    close(fd);
    return;
  }
  tty_fd = fd;
  mode_changed = true;
}

void console_restore() {
  // TCSANOW, not TCSAFLUSH: the keystroke that ended the run stays queued.
  if (mode_changed) tcsetattr(tty_fd, TCSANOW, &saved_mode);
  mode_changed = false;
}

void console_reenter() {
  if (tty_fd < 0 || mode_changed || !in_foreground(tty_fd)) return;
  if (tcsetattr(tty_fd, TCSANOW, &raw_mode) == 0) mode_changed = true;
}

void console_close() {
  console_restore();
  if (tty_fd >= 0) close(tty_fd);
  tty_fd = -1;
}

// Looks for a waiting keystroke without taking it out of the input.
int _kbhit() {
  if (tty_fd < 0) return 0;
  pollfd pending = {tty_fd, POLLIN, 0};
  return poll(&pending, 1, 0) > 0 && (pending.revents & POLLIN) != 0 ? 1 : 0;
}
