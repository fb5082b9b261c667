// Types and constants shared by the converter core and the program driver.
#pragma once

#include <array>
#include <cstdint>

// A player's joystick id, signed so that NO_CNTR can stand for "none".
using CntrId = std::int32_t;
constexpr CntrId NO_CNTR = -1;

// Index 0 is player 1 ("1P"), index 1 player 2 ("2P").
constexpr int PLAYER_COUNT = 2;
using CntrIds = std::array<CntrId, PLAYER_COUNT>;

// +1 while the X position rises, -1 while it falls, 0 once it stood still.
using Direction = std::int32_t;
using Directions = std::array<Direction, PLAYER_COUNT>;

// Anti-chattering threshold, in polls.
constexpr std::int32_t DEFAULT_ANTI_CHATTER = 32;
