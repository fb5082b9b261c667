// The Linux platform layer without devices: the timer slack, when the pause
// between passes may end, and its clock.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <string>

#include "../src/core/linux/pacing/pause_clock.h"
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

// A replayed run on a clock of the test's own: a pass with a key held, a
// timed wait that a controller's move ends early (the pass after it reads
// the move), then the player standing still. Each of the two passes that
// count toward letting the key go (threshold 0) begins a whole pause after
// the pass before it, however late in the wait the move came.
std::int64_t replayed_ns = 0;
std::int64_t replayed_clock() { return replayed_ns; }

TEST(PauseClock, AMoveThatEndsATimedWaitEarlyDoesNotShortenTheNextPause) {
  constexpr std::int64_t MS = 1'000'000;
  for (const std::int64_t move_after : {std::int64_t{1}, MS / 5, MS * 9 / 10, MS - 1}) {
    replayed_ns = 5'000 * MS;
    PauseClock clock = {replayed_clock, MS};
    pause_clock_end(clock, true);  // the pass that holds the key begins
    pause_clock_start(clock);
    timespec left = {};
    ASSERT_TRUE(pause_clock_left(clock, left));
    EXPECT_EQ(left.tv_nsec, MS);
    replayed_ns += move_after;  // the move ends the wait: the left time is untouched
    pause_clock_end(clock, true);
    std::int64_t began = replayed_ns;  // the pass that reads the move
    for (int still = 1; still <= 2; ++still) {
      pause_clock_start(clock);
      while (pause_clock_left(clock, left))
        replayed_ns += left.tv_sec * 1'000'000'000 + left.tv_nsec;
      pause_clock_end(clock, true);
      EXPECT_GE(replayed_ns - began, MS)
          << "unchanged read " << still << ", the move " << move_after << " ns into the wait";
      began = replayed_ns;
    }
  }
}

}  // namespace
