// The signal handlers. They call only async-signal-safe functions and share
// only volatile sig_atomic_t state, the undo list and the steps' functions
// with the rest of the program.
#if !defined(__linux__)
#error "abnormal_end.cc belongs to the Linux build only"
#endif

#include "abnormal_end.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "signals_held.h"
#include "undo_list.h"

namespace {

void (*volatile end_step)() = nullptr;
void (*volatile continue_step)() = nullptr;

void install(int signal_number, void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigfillset(&action.sa_mask);  // no other handler runs in between
  sigaction(signal_number, &action, nullptr);
}

// A signal ignored when keyconv started stays ignored: nohup's SIGHUP, the
// SIGINT and SIGQUIT of a job that a shell started in the background.
void install_unless_ignored(int signal_number, void (*handler)(int), int flags) {
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

void after_continue() {
  redo_changes_after_stop();
  if (void (*step)() = continue_step; step != nullptr) step();
}

void on_fatal_signal(int signal_number) {
  undo_every_change();
  if (void (*step)() = end_step; step != nullptr) step();
  raise_by_default(signal_number);
  _exit(128 + signal_number);  // not reached: the signal ends the process
}

void on_stop_signal(int signal_number) {
  const int saved_errno = errno;
  undo_changes_for_stop();
  // Stopped here until SIGCONT; in a process group without a shell to
  // continue it (an orphaned one), the kernel does not stop it at all.
  raise_by_default(signal_number);
  install(signal_number, on_stop_signal, SA_RESTART);
  after_continue();
  errno = saved_errno;
}

void on_continue_signal(int /*signal_number*/) {
  const int saved_errno = errno;
  after_continue();
  errno = saved_errno;
}

}  // namespace

void set_end_step(void (*at_end)()) {
  const SignalsHeld held;
  end_step = at_end;
}

void set_continue_step(void (*at_continue)()) {
  const SignalsHeld held;
  continue_step = at_continue;
}

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
  // Ctrl+Z, and the stops of a background job that writes to the terminal
  // with tostop set (SIGTTOU) or reads it (SIGTTIN).
  for (int signal_number : {SIGTSTP, SIGTTOU, SIGTTIN}) {
    install_unless_ignored(signal_number, on_stop_signal, SA_RESTART);
  }
  install_unless_ignored(SIGCONT, on_continue_signal, SA_RESTART);
}
