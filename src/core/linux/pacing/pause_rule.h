// When the pause between two passes of keyconv may end. A key is let go on
// the (threshold + 2)-th unchanged read of its player's X, so every pass
// whose read could be such a read must begin at least a pause's length
// after the pass before it began, whatever the other player does. Any
// other pass may begin as soon as there is something to read. Pure.
#pragma once

#include "../../types.h"

// What the pause knows of a player.
struct PlayerPause {
  bool assigned;
  bool holds_key;  // the player's keys hold a direction
  bool readable;   // the controller is there and its last read succeeded
  bool woke;       // since the last read: X changed, or a read failed, or the controller went
};

using PlayersPause = PlayerPause[PLAYER_COUNT];

// The pause needs a clock while a pass can change something unbidden: a
// held key is let go after unchanged reads, and a failing controller says
// "Error" once a pass. Otherwise it waits for a controller, with no clock.
bool pause_needs_clock(const PlayersPause& players);

// Something woke, and no player who holds a key and reads well stayed
// unchanged: the next pass may begin before the pause's time is up.
bool pause_may_end_early(const PlayersPause& players);
