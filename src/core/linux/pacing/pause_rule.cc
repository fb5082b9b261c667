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

std::int64_t pause_wait_ns(bool timed, std::int64_t until_deadline_ns, TerminalPause terminal) {
  const std::int64_t look = terminal == TerminalPause::elsewhere ? TERMINAL_LOOK_NS : -1;
  if (!timed) return look;
  return look >= 0 && look < until_deadline_ns ? look : until_deadline_ns;
}
