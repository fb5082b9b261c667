#pragma once

#include "types.h"

// Sends the key-up and key-down events that take the player's keys from the
// direction last applied to now: a release always before a press. Does
// nothing when now equals the direction last applied.
void update_keys(int player, Direction now);

// Sends the key-up of whatever key the player holds, if any.
void release_keys(int player);

// Lets go of every key held, with the key-ups release_keys sends, and sends
// no key event after it: for an end that skips the orderly one (a fault, a
// loop held up past a console event's bound). From any thread, the
// program's own included; once. A program's thread stuck while it sends a
// key event holds it up for a moment only.
void release_all_keys_now();
