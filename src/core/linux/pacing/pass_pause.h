// The pause between two passes of keyconv's polling loop on Linux
// (pause_between_passes), on a clock it is handed.
#pragma once

#include "../../types.h"
#include "pause_clock.h"

// Waits, reading clock and waiting with its wait, on the players'
// controllers, the terminal while keyconv has it, and the device watch,
// until the rule (pause_rule.h) lets the next pass begin.
void pass_pause(PauseClock& clock, const CntrIds& ids, const Directions& held);
