#pragma once

#include "types.h"

// Asks player 1, then (when the driver supports more than one joystick)
// player 2, to press a button, and fills ids with the joysticks found. Blocks
// until player 1 is found and player 2 is found or skipped; ids must come in
// with both entries NO_CNTR.
void assign_controllers(CntrIds& ids);
