#include "../src/core/key_output.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace {

using Events = std::vector<std::string>;

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
      {0, +1, {"keybd_event A0 0"}, {"keybd_event A1 0"}},
      {-1, +1, {"keybd_event A2 2", "keybd_event A0 0"}, {"keybd_event A3 3", "keybd_event A1 0"}},
      {0, -1, {"keybd_event A2 0"}, {"keybd_event A3 1"}},
      {+1, -1, {"keybd_event A0 2", "keybd_event A2 0"}, {"keybd_event A1 2", "keybd_event A3 1"}},
      {+1, 0, {"keybd_event A0 2"}, {"keybd_event A1 2"}},
      {-1, 0, {"keybd_event A2 2"}, {"keybd_event A3 3"}},
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
  EXPECT_EQ(keys_after(0, {+1, +1, +1, -1, -1}),
            (Events{"keybd_event A0 0", "keybd_event A0 2", "keybd_event A2 0"}));
  EXPECT_EQ(keys_after(0, {-1, -1, +1}),
            (Events{"keybd_event A2 0", "keybd_event A2 2", "keybd_event A0 0"}));
}

TEST(UpdateKeys, PlayersKeepSeparateStates) {
  fake_start({});
  update_keys(0, +1);
  update_keys(1, -1);
  update_keys(0, +1);
  update_keys(1, 0);
  EXPECT_EQ(fake_calls_of({"keybd_event"}),
            (Events{"keybd_event A0 0", "keybd_event A3 1", "keybd_event A3 3"}));
}

TEST(ReleaseKeys, LetsGoOfWhatIsHeldAndKeepsTheState) {
  const struct {
    Direction held;
    Events player1;
    Events player2;
  } cases[] = {
      {+1, {"keybd_event A0 2"}, {"keybd_event A1 2"}},
      {-1, {"keybd_event A2 2"}, {"keybd_event A3 3"}},
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
  EXPECT_EQ(fake_calls_of({"keybd_event"}), (Events{"keybd_event A2 0", "keybd_event A1 0",
                                                    "keybd_event A2 2", "keybd_event A1 2"}));
}

}  // namespace
