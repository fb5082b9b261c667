#include "pause_rule.h"

bool pause_needs_clock(const PlayersPause& players) {
  for (const PlayerPause& player : players) {
    if (player.assigned && (player.holds_key || !player.readable)) return true;
  }
  return false;
}

bool pause_may_end_early(const PlayersPause& players) {
  bool woke = false;
  for (const PlayerPause& player : players) {
    if (!player.assigned) continue;
    // Its next read would count toward letting its key go.
    if (player.holds_key && player.readable && !player.woke) return false;
    woke = woke || player.woke;
  }
  return woke;
}
