// The pause between passes on Linux, run itself on a replayed clock: its
// waits end when the script says, the controllers and the device watch
// behind it are scripted too, and the clock moves only as the waits say.
#include "../src/core/linux/pacing/pass_pause.h"

#include <gtest/gtest.h>

#include <deque>

#include "../src/core/linux/controllers/find/device_watch.h"
#include "../src/core/linux/controllers/read/controller_table.h"
#include "../src/core/linux/controllers/read/read_handoff.h"
#include "../src/core/linux/terminal/console_tty.h"

namespace {

constexpr std::int64_t MS = 1'000'000;
constexpr int WATCH_FD = 50;
constexpr int ENDING_KEYSTROKE_FD = 99;
constexpr int TERMINAL_FD = 98;

int fd_of(int id) { return 10 + id; }

// What happens in a wait: after after_ns, the player 1's controller brings
// taken, or the device watch brings player 1's controller (there or not).
struct Step {
  std::int64_t after_ns;
  enum { player_1, watch } ready;
  Taken taken = Taken::moved;
  bool there = true;
};

struct Replay {
  std::int64_t now_ns = 5'000 * MS;
  std::deque<Step> script;
  int fd = -1;  // player 1's controller, id 0
  bool reads_well = false;
  Taken taken = Taken::unchanged;
  bool watch_changed = false;  // the watch's change waits to be taken in:
  bool there = true;           // player 1's controller after it
  bool ended_by_keystroke = false;
  std::int64_t fg_at_ns = -1;   // when keyconv becomes the foreground job; -1: no terminal
  bool terminal_taken = false;  // keyconv took its mode: a keystroke typed at fg is ready
  int waits = 0;
} replay;

std::int64_t replayed_clock() { return replay.now_ns; }

// A wait with nothing in the script lasts its whole time; an untimed one
// would last for ever, so a keystroke ends it and the test fails.
int replayed_wait(pollfd* fds, nfds_t count, const timespec* timeout) {
  const std::int64_t timeout_ns =
      timeout != nullptr ? timeout->tv_sec * 1'000'000'000 + timeout->tv_nsec : -1;
  ++replay.waits;
  for (nfds_t i = 0; i < count; ++i) {
    fds[i].revents = replay.terminal_taken && fds[i].fd == TERMINAL_FD ? POLLIN : 0;
    if (fds[i].revents != 0) return 1;
  }
  if (replay.script.empty() || (timeout_ns >= 0 && replay.script.front().after_ns >= timeout_ns)) {
    if (timeout_ns < 0) {
      ADD_FAILURE() << "an untimed wait with nothing to come";
      replay.ended_by_keystroke = true;
      return 0;
    }
    replay.now_ns += timeout_ns;
    return 0;
  }
  const Step step = replay.script.front();
  replay.script.pop_front();
  replay.now_ns += step.after_ns;
  const int ready = step.ready == Step::watch ? WATCH_FD : replay.fd;
  replay.taken = step.taken;
  if (step.ready == Step::watch) {
    replay.watch_changed = true;
    replay.there = step.there;
  }
  int found = 0;
  for (nfds_t i = 0; i < count; ++i) {
    fds[i].revents = fds[i].fd == ready ? POLLIN : 0;
    found += fds[i].revents != 0 ? 1 : 0;
  }
  EXPECT_EQ(found, 1) << "the pause does not wait on fd " << ready;
  return found;
}

}  // namespace

// What the pause reaches behind it, as the script has it.
int controller_wait_fd(int id) { return id == 0 ? replay.fd : -1; }
bool controller_reads_well(int id) { return id == 0 && replay.reads_well; }
Taken take_in_now(int id) { return id == 0 && replay.fd >= 0 ? replay.taken : Taken::gone; }
void follow_device_changes() {
  if (!replay.watch_changed) return;
  replay.watch_changed = false;
  replay.fd = replay.there ? fd_of(0) : -1;
}
void watch_fds(int (&fds)[2]) {
  fds[0] = -1;
  fds[1] = WATCH_FD;
}
int console_wait_fd() {
  return replay.ended_by_keystroke ? ENDING_KEYSTROKE_FD : replay.terminal_taken ? TERMINAL_FD : -1;
}
int console_taken_fd() { return -1; }
bool console_present() { return replay.fg_at_ns >= 0; }
void console_reenter() {
  replay.terminal_taken = replay.fg_at_ns >= 0 && replay.now_ns >= replay.fg_at_ns;
}
void console_forget_hung_up() {}

namespace {

const CntrIds ONE_PLAYER = {0, NO_CNTR};

// Runs one pause for player 1 and returns how long it lasted.
std::int64_t pause_length(PauseClock& clock, Direction held) {
  const std::int64_t began = replay.now_ns;
  pass_pause(clock, ONE_PLAYER, {held, 0});
  return replay.now_ns - began;
}

TEST(PassPause, EndsWhenWhatItWaitsForComesOrItsTimeIsUp) {
  const struct {
    const char* what;
    bool there, reads_well;
    Direction held;
    std::deque<Step> script;
    std::int64_t lasts_ns;
  } cases[] = {
      {"holding a key, still: its whole time", true, true, 1, {}, MS},
      {"holding a key, a move", true, true, 1, {{MS / 3, Step::player_1}}, MS / 3},
      {"holding a key, a read of the same X",
       true,
       true,
       1,
       {{MS / 3, Step::player_1, Taken::unchanged}},
       MS},
      {"at rest, a move 5 ms later: no clock", true, true, 0, {{5 * MS, Step::player_1}}, 5 * MS},
      {"a failing controller, still: its whole time", true, false, 1, {}, MS},
      {"an absent controller that comes back",
       false,
       false,
       1,
       {{MS / 4, Step::watch, Taken::moved, true}},
       MS / 4},
      {"holding a key, the player's controller goes",
       true,
       true,
       1,
       {{MS / 5, Step::watch, Taken::moved, false}},
       MS / 5},
      {"holding a key, another device comes: its whole time",
       true,
       true,
       1,
       {{MS / 5, Step::watch, Taken::moved, true}},
       MS},
      {"at rest, another device comes, then a move",
       true,
       true,
       0,
       {{2 * MS, Step::watch, Taken::moved, true}, {3 * MS, Step::player_1}},
       5 * MS},
  };
  for (const auto& c : cases) {
    replay = {};
    replay.fd = c.there ? fd_of(0) : -1;
    replay.reads_well = c.reads_well;
    replay.script = c.script;
    PauseClock clock = {replayed_clock, replayed_wait, MS};
    EXPECT_EQ(pause_length(clock, c.held), c.lasts_ns) << c.what;
    EXPECT_TRUE(replay.script.empty()) << c.what;
  }
}

// A pass with a key held, a timed wait that the controller's move ends
// early (the pass after it reads the move), then the player standing
// still. Each of the two passes that count toward letting the key go
// (threshold 0) begins a whole pause after the pass before it began,
// however late in the wait the move came.
TEST(PassPause, AMoveThatEndsATimedWaitEarlyDoesNotShortenTheNextPause) {
  for (const std::int64_t move_after : {std::int64_t{1}, MS / 5, MS * 9 / 10, MS - 1}) {
    replay = {};
    replay.fd = fd_of(0);
    replay.reads_well = true;
    PauseClock clock = {replayed_clock, replayed_wait, MS};
    pause_length(clock, 1);  // the pass that holds the key begins
    replay.script = {{move_after, Step::player_1}};
    EXPECT_EQ(pause_length(clock, 1), move_after);  // the pass that reads the move begins
    for (int still = 1; still <= 2; ++still) {
      EXPECT_GE(pause_length(clock, 1), MS)
          << "unchanged read " << still << ", the move " << move_after << " ns into the wait";
    }
  }
}

// At rest in the background the pause looks for the terminal every tenth
// of a second: bash's fg sends no SIGCONT to a job that runs, and a
// keystroke typed at fg must end the conversion all the same.
TEST(PassPause, AtRestInTheBackgroundItLooksForTheTerminalTenTimesASecond) {
  replay = {};
  replay.fd = fd_of(0);
  replay.reads_well = true;
  replay.fg_at_ns = replay.now_ns + 250 * MS;
  PauseClock clock = {replayed_clock, replayed_wait, MS};
  EXPECT_EQ(pause_length(clock, 0), 300 * MS) << "the keystroke seen at the third look";
  EXPECT_EQ(replay.waits, 4) << "three looks, then the keystroke";
  EXPECT_FALSE(replay.ended_by_keystroke) << "an untimed wait in the background";
}

}  // namespace
