#pragma once

#include <cstdint>

#include "types.h"

// Polls the player's joystick once and returns the player's direction after
// that poll. Call only for a player whose id is not NO_CNTR. The detector
// keeps one track per player for the whole run.
Direction read_direction(int player, const CntrIds& ids, std::int32_t anti_chatter);

#ifdef KEYCONV_TESTING
// Puts both tracks back to their start state, for tests that run many times
// in one process.
void reset_motion_tracks();

// Sets a primed track's state directly, to reach counts no test can read up to.
void set_motion_track(int player, std::uint32_t last_x, std::int32_t still_count,
                      Direction direction);
#endif
