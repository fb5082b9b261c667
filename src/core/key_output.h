#pragma once

#include "types.h"

// Sends the key-up and key-down events that take the player's keys from the
// direction last applied to now: a release always before a press. Does
// nothing when now equals the direction last applied.
void update_keys(int player, Direction now);

// Sends the key-up of whatever key the player holds, if any.
void release_keys(int player);
