#include "polling_loop.h"

#include "../core/key_output.h"
#include "../core/motion_detector.h"
#include "../core/platform.h"
#include "../core/platform_hooks.h"

namespace {

constexpr UINT TIMER_RESOLUTION_MS = 1;

// Reads both players before either player's keys change, and sends player
// 1's events before player 2's. Returns what the keys hold now.
Directions poll_once(const CntrIds& ids, std::int32_t anti_chatter) {
  const bool has_2p = ids[1] != NO_CNTR;
  const Direction d1 = read_direction(0, ids, anti_chatter);
  const Direction d2 = has_2p ? read_direction(1, ids, anti_chatter) : 0;
  update_keys(0, d1);
  if (has_2p) update_keys(1, d2);
  return {d1, d2};
}

}  // namespace

void run_polling_loop(Pacing pacing, const CntrIds& ids, std::int32_t anti_chatter) {
  const bool paced = pacing == Pacing::paced;
  if (paced) timeBeginPeriod(TIMER_RESOLUTION_MS);
  // A keystroke that waits already ends the run before the first pass.
  while (!stop_requested() && !_kbhit()) {
    const Directions held = poll_once(ids, anti_chatter);
    if (paced) pause_between_passes(ids, held);
  }
  if (paced) timeEndPeriod(TIMER_RESOLUTION_MS);
  // Nothing is held before the first pass, and player 2's key state stays 0
  // when unassigned: nothing is sent for those.
  release_keys(0);
  release_keys(1);
}
