#pragma once

#include <cstdint>

#include "types.h"

// Polls the player's joystick once and returns the player's direction after
// that poll. Call only for a player whose id is not NO_CNTR. The detector
// keeps one track per player for the whole run.
Direction read_direction(int player, const CntrIds& ids, std::int32_t anti_chatter);
