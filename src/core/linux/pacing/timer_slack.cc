// The Linux counterpart of a 1 ms timer resolution: the thread's timer slack
// (50 us by default) lowered while converting, so each 1 ms pause ends on
// time, and put back afterwards.
#if !defined(__linux__)
#error "timer_slack.cc belongs to the Linux build only"
#endif

#include <sys/prctl.h>

#include "../../platform.h"

namespace {

constexpr unsigned long CONVERSION_SLACK_NS = 1;
unsigned long saved_slack_ns = 0;

}  // namespace

MMRESULT timeBeginPeriod(UINT /*period_ms*/) {
  const int current = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  if (current < 0) return 1;
  saved_slack_ns = static_cast<unsigned long>(current);
  return prctl(PR_SET_TIMERSLACK, CONVERSION_SLACK_NS, 0, 0, 0) == 0 ? 0 : 1;
}

MMRESULT timeEndPeriod(UINT /*period_ms*/) {
  if (saved_slack_ns == 0) return 1;
  return prctl(PR_SET_TIMERSLACK, saved_slack_ns, 0, 0, 0) == 0 ? 0 : 1;
}
