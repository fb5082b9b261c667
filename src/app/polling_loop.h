#pragma once

#include <cstdint>

#include "../core/types.h"

// keyconv pauses 1 ms per pass with the timer resolution raised; keyconv_busy
// polls without pause. The build picks one per program (see main.cc).
enum class Pacing { paced, busy };

// Converts both players' motion into keys until a keystroke waits on the
// console, then lets go of every key held.
void run_polling_loop(Pacing pacing, const CntrIds& ids, std::int32_t anti_chatter);
