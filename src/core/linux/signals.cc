// The signal handlers. They call only async-signal-safe functions and share
// only volatile sig_atomic_t state with the rest of the program.
#if !defined(__linux__)
#error "signals.cc belongs to the Linux build only"
#endif

#include "signals.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "axis_fuzz.h"
#include "console_tty.h"
#include "keyboard_uinput.h"

namespace {

volatile sig_atomic_t keys_let_go_for_stop = 0;

void install(int signal_number, void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigfillset(&action.sa_mask);  // no other handler runs in between
  sigaction(signal_number, &action, nullptr);
}

void install(int signal_number, void (*handler)(int, siginfo_t*, void*), int flags) {
  struct sigaction action = {};
  action.sa_sigaction = handler;
  action.sa_flags = flags | SA_SIGINFO;
  sigfillset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

// A signal ignored when keyconv started stays ignored: nohup's SIGHUP, the
// SIGINT and SIGQUIT of a job that a shell started in the background.
template <typename Handler>
void install_unless_ignored(int signal_number, Handler handler, int flags) {
  struct sigaction current;
  if (sigaction(signal_number, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
      current.sa_handler == SIG_IGN) {
    return;
  }
  install(signal_number, handler, flags);
}

void raise_by_default(int signal_number) {
  install(signal_number, SIG_DFL, 0);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal_number);
}

// A fault of the program's own (the kernel's SIGSEGV, SIGBUS...) cannot
// wait: its handler runs at once, typing or not. The same signals sent by a
// process wait like any other.
void on_fatal_signal(int signal_number, siginfo_t* info, void*) {
  const bool fault =
      info != nullptr && info->si_code > 0 &&
      (signal_number == SIGSEGV || signal_number == SIGBUS || signal_number == SIGILL ||
       signal_number == SIGFPE || signal_number == SIGTRAP || signal_number == SIGSYS);
  if (!fault && uinput_keyboard::defer_while_typing(signal_number)) return;
  console_restore();
  uinput_keyboard::release_held_now();
  axis_fuzz_restore_all_now();
  uinput_keyboard::close_keyboard_now();
  raise_by_default(signal_number);
  _exit(128 + signal_number);  // not reached: the signal ends the process
}

// After a stop, or a stop the kernel refused: the terminal's mode again in
// the foreground, and the keys held before the stop pressed again, so that
// a turn that went on keeps its key. The core never knew of the stop.
void carry_on() {
  console_reenter();
  if (keys_let_go_for_stop != 0) {
    keys_let_go_for_stop = 0;
    uinput_keyboard::press_held_now();
  }
}

// Ctrl+Z, and the stops of a background job that writes to the terminal
// with tostop set (SIGTTOU) or reads it (SIGTTIN).
void on_stop_signal(int signal_number) {
  if (uinput_keyboard::defer_while_typing(signal_number)) return;
  const int saved_errno = errno;
  console_restore();
  uinput_keyboard::release_held_now();
  keys_let_go_for_stop = 1;
  // Stopped here until SIGCONT; in a process group without a shell to
  // continue it (an orphaned one), the kernel does not stop it at all.
  raise_by_default(signal_number);
  install(signal_number, on_stop_signal, SA_RESTART);
  carry_on();
  errno = saved_errno;
}

void on_continue_signal(int signal_number) {
  if (uinput_keyboard::defer_while_typing(signal_number)) return;
  const int saved_errno = errno;
  carry_on();
  errno = saved_errno;
}

}  // namespace

void install_signal_handlers() {
  constexpr int FATAL_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                                   SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                                   SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                                   SIGPROF, SIGIO,   SIGPWR,    SIGSYS};
  for (int signal_number : FATAL_SIGNALS) {
    install_unless_ignored(signal_number, on_fatal_signal, 0);
  }
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    install_unless_ignored(signal_number, on_fatal_signal, 0);
  }
  for (int signal_number : {SIGTSTP, SIGTTOU, SIGTTIN}) {
    install_unless_ignored(signal_number, on_stop_signal, SA_RESTART);
  }
  install_unless_ignored(SIGCONT, on_continue_signal, SA_RESTART);
}
