// Holding signals back for the length of a scope: every signal, or one.
// sigprocmask is async-signal-safe, so handlers may use it too.
#pragma once

#include <csignal>

class SignalsHeld {
 public:
  // Every signal that can be held back.
  SignalsHeld() {
    sigset_t held;
    sigfillset(&held);
    sigprocmask(SIG_BLOCK, &held, &saved_);
  }
  explicit SignalsHeld(int signal_number) {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &saved_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;
};
