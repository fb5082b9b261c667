#include "../src/core/key_output.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace {

using Events = std::vector<std::string>;

// Each key's events as sent: key, scan code (Right Control's behind E0), flags.
const std::string LSHIFT_DOWN = "keybd_event A0 2A 0", LSHIFT_UP = "keybd_event A0 2A 2";
const std::string LCTRL_DOWN = "keybd_event A2 1D 0", LCTRL_UP = "keybd_event A2 1D 2";
const std::string RSHIFT_DOWN = "keybd_event A1 36 0", RSHIFT_UP = "keybd_event A1 36 2";
const std::string RCTRL_DOWN = "keybd_event A3 1D 1", RCTRL_UP = "keybd_event A3 1D 3";

Events keys_after(int player, std::initializer_list<Direction> directions) {
  fake_start({});
  for (Direction d : directions) update_keys(player, d);
  return fake_calls_of({"keybd_event"});
}

// The events of then(player), the player's keys holding held before it.
Events events_of(int player, Direction held, const std::function<void(int)>& then) {
  fake_start({});
  update_keys(player, held);
  const std::size_t before = fake_calls().size();
  then(player);
  return Events(fake_calls().begin() + static_cast<long>(before), fake_calls().end());
}

struct TransitionCase {
  Direction old_dir;
  Direction now;
  Events player1;
  Events player2;
};

TEST(UpdateKeys, EveryTransitionForBothPlayers) {
  const TransitionCase cases[] = {
      {0, +1, {LSHIFT_DOWN}, {RSHIFT_DOWN}},
      {-1, +1, {LCTRL_UP, LSHIFT_DOWN}, {RCTRL_UP, RSHIFT_DOWN}},
      {0, -1, {LCTRL_DOWN}, {RCTRL_DOWN}},
      {+1, -1, {LSHIFT_UP, LCTRL_DOWN}, {RSHIFT_UP, RCTRL_DOWN}},
      {+1, 0, {LSHIFT_UP}, {RSHIFT_UP}},
      {-1, 0, {LCTRL_UP}, {RCTRL_UP}},
      {+1, +1, {}, {}},
      {-1, -1, {}, {}},
      {0, 0, {}, {}},
  };
  for (const TransitionCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.old_dir) + " -> " + std::to_string(c.now));
    const auto turn = [&c](int player) { update_keys(player, c.now); };
    EXPECT_EQ(events_of(0, c.old_dir, turn), c.player1);
    EXPECT_EQ(events_of(1, c.old_dir, turn), c.player2);
  }
}

TEST(UpdateKeys, TurningOneWayThenBackSendsThreeEvents) {
  EXPECT_EQ(keys_after(0, {+1, +1, +1, -1, -1}), (Events{LSHIFT_DOWN, LSHIFT_UP, LCTRL_DOWN}));
  EXPECT_EQ(keys_after(0, {-1, -1, +1}), (Events{LCTRL_DOWN, LCTRL_UP, LSHIFT_DOWN}));
}

TEST(UpdateKeys, PlayersKeepSeparateStates) {
  fake_start({});
  update_keys(0, +1);
  update_keys(1, -1);
  update_keys(0, +1);
  update_keys(1, 0);
  EXPECT_EQ(fake_calls_of({"keybd_event"}), (Events{LSHIFT_DOWN, RCTRL_DOWN, RCTRL_UP}));
}

TEST(ReleaseKeys, LetsGoOfWhatIsHeldAndKeepsTheState) {
  const struct {
    Direction held;
    Events player1;
    Events player2;
  } cases[] = {
      {+1, {LSHIFT_UP}, {RSHIFT_UP}},
      {-1, {LCTRL_UP}, {RCTRL_UP}},
      {0, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("held " + std::to_string(c.held));
    // The state is kept: the same direction again after the release sends nothing.
    const auto release_then_same = [&c](int player) {
      release_keys(player);
      update_keys(player, c.held);
    };
    EXPECT_EQ(events_of(0, c.held, release_then_same), c.player1);
    EXPECT_EQ(events_of(1, c.held, release_then_same), c.player2);
  }
}

TEST(ReleaseKeys, ShutdownOrderAcrossPlayers) {
  fake_start({});
  update_keys(0, -1);
  update_keys(1, +1);
  release_keys(0);
  release_keys(1);
  EXPECT_EQ(fake_calls_of({"keybd_event"}), (Events{LCTRL_DOWN, RSHIFT_DOWN, LCTRL_UP, RSHIFT_UP}));
}

// An end that skips the orderly one (a fault, a loop held up past a
// console event's bound) lets go of every key held, with the orderly end's
// key-ups, once; nothing is sent after it, whatever the loop does next.
TEST(ReleaseAllKeysNow, LetsGoOfEveryKeyOnceAndSendsNothingAfter) {
  const struct {
    Direction p1, p2;
    Events let_go;
  } cases[] = {
      {-1, +1, {LCTRL_UP, RSHIFT_UP}},
      {+1, 0, {LSHIFT_UP}},
      {0, -1, {RCTRL_UP}},
      {0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.p1) + ", " + std::to_string(c.p2));
    fake_start({});
    update_keys(0, c.p1);
    update_keys(1, c.p2);
    const std::size_t before = fake_calls().size();
    release_all_keys_now();
    release_all_keys_now();
    update_keys(0, -c.p1 == 0 ? 1 : -c.p1);  // a pass the loop ends after all
    release_keys(0);
    release_keys(1);
    EXPECT_EQ(Events(fake_calls().begin() + static_cast<long>(before), fake_calls().end()),
              c.let_go);
  }
}

}  // namespace
