#include "../src/core/key_output.h"

#include <gtest/gtest.h>

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
    for (int player : {0, 1}) {
      fake_start({});
      update_keys(player, c.old_dir);
      const std::size_t before = fake_calls().size();
      update_keys(player, c.now);
      const Events events(fake_calls().begin() + static_cast<long>(before), fake_calls().end());
      EXPECT_EQ(events, player == 0 ? c.player1 : c.player2) << "player " << player + 1;
    }
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
    for (int player : {0, 1}) {
      fake_start({});
      update_keys(player, c.held);
      const std::size_t before = fake_calls().size();
      release_keys(player);
      const Events events(fake_calls().begin() + static_cast<long>(before), fake_calls().end());
      EXPECT_EQ(events, player == 0 ? c.player1 : c.player2);
      // The state is kept: the same direction again sends nothing.
      update_keys(player, c.held);
      EXPECT_EQ(fake_calls().size(), before + events.size());
    }
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
