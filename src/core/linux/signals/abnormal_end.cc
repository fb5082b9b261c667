// The signal handlers and the steps they run. They call only
// async-signal-safe functions and share only volatile sig_atomic_t state,
// and the steps' functions, with the rest of the program.
#if !defined(__linux__)
#error "abnormal_end.cc belongs to the Linux build only"
#endif

#include "abnormal_end.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "signals_held.h"

namespace {

constexpr int STEP_COUNT = static_cast<int>(EndStep::count);
EndActions steps[STEP_COUNT] = {};

// Signals that came while a key was written, by number.
constexpr int MOST_SIGNALS = 65;
volatile sig_atomic_t writing_key = 0;
volatile sig_atomic_t deferred[MOST_SIGNALS] = {};
volatile sig_atomic_t any_deferred = 0;

void run_steps(void (*EndActions::*phase)()) {
  for (const EndActions& step : steps) {
    if (step.*phase != nullptr) (step.*phase)();
  }
}

// A handler's first step: true when signal_number waits for the key being
// written, to be raised again when it is.
bool defer_while_writing(int signal_number) {
  if (writing_key == 0 || signal_number <= 0 || signal_number >= MOST_SIGNALS) return false;
  deferred[signal_number] = 1;
  any_deferred = 1;
  return true;
}

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
// wait: its handler runs at once, writing a key or not. The same signals
// sent by a process wait like any other.
void on_fatal_signal(int signal_number, siginfo_t* info, void*) {
  const bool fault =
      info != nullptr && info->si_code > 0 &&
      (signal_number == SIGSEGV || signal_number == SIGBUS || signal_number == SIGILL ||
       signal_number == SIGFPE || signal_number == SIGTRAP || signal_number == SIGSYS);
  if (!fault && defer_while_writing(signal_number)) return;
  run_steps(&EndActions::at_end);
  raise_by_default(signal_number);
  _exit(128 + signal_number);  // not reached: the signal ends the process
}

void on_stop_signal(int signal_number) {
  if (defer_while_writing(signal_number)) return;
  const int saved_errno = errno;
  run_steps(&EndActions::at_stop);
  // Stopped here until SIGCONT; in a process group without a shell to
  // continue it (an orphaned one), the kernel does not stop it at all.
  raise_by_default(signal_number);
  install(signal_number, on_stop_signal, SA_RESTART);
  run_steps(&EndActions::at_continue);
  errno = saved_errno;
}

void on_continue_signal(int signal_number) {
  if (defer_while_writing(signal_number)) return;
  const int saved_errno = errno;
  run_steps(&EndActions::at_continue);
  errno = saved_errno;
}

}  // namespace

void register_end_step(EndStep step, EndActions actions) {
  const SignalsHeld held;  // no handler sees a step half written
  steps[static_cast<int>(step)] = actions;
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

void key_write_begins() {
  writing_key = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void key_write_ends() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  writing_key = 0;
  if (any_deferred == 0) return;
  any_deferred = 0;
  for (int signal_number = 1; signal_number < MOST_SIGNALS; ++signal_number) {
    if (deferred[signal_number] == 0) continue;
    deferred[signal_number] = 0;
    raise(signal_number);
  }
}
