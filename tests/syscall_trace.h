// What the kernel tells of the program's process: its system calls traced,
// how often it was woken and how much processor time it took.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <vector>

#include "program_keyboard.h"

// The program's system calls as the kernel traces them, on the monotonic
// clock of the key events' timestamps: each pass of the polling loop checks
// for a keystroke once (a poll), and each key event is one write of the key
// and its SYN_REPORT.
struct SyscallTrace {
  struct Call {
    bool poll;  // otherwise a write
    int fd;
    long count;
    double ms;  // when, on the monotonic clock
  };
  bool start(pid_t pid);
  // Stops tracing and returns the calls, oldest first.
  std::vector<Call> stop();
  ~SyscallTrace();
  bool running = false;
};

// The passes between two key events: from the pass that sent first to the
// one that sent then, counted by their keystroke checks.
long passes_between(const std::vector<SyscallTrace::Call>& calls, const KeyEvent& first,
                    const KeyEvent& then);

// When a pass began, by its keystroke check: back passes before the one
// that sent event (0: that one); -1 when the trace does not go so far back.
double pass_began_ms(const std::vector<SyscallTrace::Call>& calls, const KeyEvent& event, int back);

// How often the process has been woken up (its context switches) so far.
long wakeups(pid_t pid);

// The processor time the process has taken so far, in clock ticks.
long cpu_ticks(pid_t pid);

// The process takes less than half a processor over half a second: it does
// not spin, whatever its state.
::testing::AssertionResult does_not_spin(pid_t pid);
