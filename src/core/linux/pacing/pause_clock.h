// The clock of the pause between passes. A pass whose read could count
// toward letting a held key go begins no sooner than a pause's length after
// the pass before it began, so the pause must know when each pass really
// began: it reads the clock before every timed wait and when it ends. A
// wait's own timeout says nothing of when the wait ended (glibc's ppoll
// leaves it as it was). The pause reads the clock and waits with the wait
// it is handed, so that a test can replay a run of passes.
#pragma once

#include <poll.h>

#include <cstdint>
#include <ctime>

// Nanoseconds on a monotonic clock; never 0.
using MonotonicClock = std::int64_t (*)();

// Waits as ppoll does, with no signal mask of its own.
using TimedWait = int (*)(pollfd* fds, nfds_t count, const timespec* timeout);

std::int64_t monotonic_ns();
int wait_ppoll(pollfd* fds, nfds_t count, const timespec* timeout);

struct PauseClock {
  MonotonicClock now_ns;
  TimedWait wait;
  std::int64_t pause_ns;           // the least time from one pass's start to the next's
  std::int64_t pass_began_ns = 0;  // when the running pass began; 0 when not known
  std::int64_t deadline_ns = 0;    // when this pause's time is up
};

// A pause begins: its time is up a pause's length after the running pass
// began, or after now when that is not known (after a pause without clock).
void pause_clock_start(PauseClock& clock);

// Before a timed wait: the time left until the deadline, in ns; 0 or less
// when none is.
std::int64_t pause_clock_left_ns(const PauseClock& clock);

// The pause ends and the next pass begins now; timed tells whether the pause
// kept the time. After a pause without clock the start is not known.
void pause_clock_end(PauseClock& clock, bool timed);
