// The Linux platform layer without devices: the timer slack, and when the
// pause between passes may end.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <string>

#include "../src/core/linux/pacing/pause_rule.h"
#include "../src/core/platform.h"

namespace {

TEST(TimerSlack, LoweredForTheConversionAndPutBack) {
  const int before = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  ASSERT_GT(before, 1);
  EXPECT_EQ(timeBeginPeriod(1), 0u);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);
  EXPECT_EQ(timeEndPeriod(1), 0u);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), before);
}

// A held key is let go after unchanged reads a pause apart, whatever the
// other player does: only a pass in which no such read can happen may come
// early, and only a held key or a failing controller needs the clock.
TEST(PauseRule, APassThatCouldCountTowardLettingAKeyGoWaitsForTheClock) {
  // assigned, holds a key, reads well, woke (X changed, a read failed, gone)
  constexpr PlayerPause AT_REST = {true, false, true, false};
  constexpr PlayerPause MOVED = {true, false, true, true};
  constexpr PlayerPause HOLDING = {true, true, true, false};
  constexpr PlayerPause HOLDING_MOVED = {true, true, true, true};
  constexpr PlayerPause FAILING = {true, false, false, false};
  constexpr PlayerPause FAILING_WOKE = {true, false, false, true};
  constexpr PlayerPause HOLDING_FAILING = {true, true, false, false};
  constexpr PlayerPause NOBODY = {false, true, true, false};  // no player 2: never counts
  const struct {
    const char* what;
    PlayerPause p1, p2;
    bool clock, early;
  } cases[] = {
      {"at rest", AT_REST, NOBODY, false, false},
      {"at rest, a move", MOVED, NOBODY, false, true},
      {"holding, still", HOLDING, NOBODY, true, false},
      {"holding, a move", HOLDING_MOVED, NOBODY, true, true},
      {"failing", FAILING, NOBODY, true, false},
      {"failing, its controller back or gone", FAILING_WOKE, NOBODY, true, true},
      {"2P holds and is still, 1P moves", MOVED, HOLDING, true, false},
      {"2P holds and is still, 1P holding moves", HOLDING_MOVED, HOLDING, true, false},
      {"both hold, both move", HOLDING_MOVED, HOLDING_MOVED, true, true},
      {"2P holds with a failing controller, 1P moves", MOVED, HOLDING_FAILING, true, true},
      {"both at rest, 2P moves", AT_REST, MOVED, false, true},
      {"1P holds and is still, 2P moves", HOLDING, MOVED, true, false},
  };
  for (const auto& c : cases) {
    const PlayersPause players = {c.p1, c.p2};
    EXPECT_EQ(pause_needs_clock(players), c.clock) << c.what;
    EXPECT_EQ(pause_may_end_early(players), c.early) << c.what;
  }
}

}  // namespace
