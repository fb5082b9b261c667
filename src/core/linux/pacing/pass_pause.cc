// pause_between_passes: waits on the assigned controllers, the device
// watch and the terminal, as the rule (pause_rule.h) says, until it lets the
// next pass begin. What changed among the nodes is taken in at every wake it
// brings.
#if !defined(__linux__)
#error "pass_pause.cc belongs to the Linux build only"
#endif

#include "pass_pause.h"

#include <unistd.h>

#include "../../platform_hooks.h"
#include "../controllers/find/device_watch.h"
#include "../controllers/read/controller_table.h"
#include "../controllers/read/read_handoff.h"
#include "../terminal/console_tty.h"
#include "pause_rule.h"

namespace {

constexpr int TERMINAL = -1;
constexpr int TERMINAL_TAKEN = -2;
constexpr int DEVICE_WATCH = -3;

// When the running pass began, and when the pause's time is up.
PauseClock pause_clock = {monotonic_ns, wait_ppoll, POLL_SLEEP_MS * 1'000'000LL};

// What a wait looks at, and for whom: a player, or one of the above.
struct Waited {
  pollfd fds[PLAYER_COUNT + 4];
  int whose[PLAYER_COUNT + 4];
  int count = 0;
  void add(int fd, int who) {
    if (fd < 0) return;
    fds[count] = {fd, POLLIN, 0};
    whose[count++] = who;
  }
};

void empty(int fd) {
  char taken[16];
  while (read(fd, taken, sizeof taken) > 0) {
  }
}

TerminalPause terminal_now() {
  if (console_wait_fd() >= 0) return TerminalPause::keystroke;
  return console_present() ? TerminalPause::elsewhere : TerminalPause::none;
}

}  // namespace

void pause_between_passes(const CntrIds& ids, const Directions& held) {
  pass_pause(pause_clock, ids, held);
}

// Signals are let in throughout. A handler that runs during the wait ends
// it, and the wait begins again; one that takes the terminal just before a
// wait without it makes the terminal's pipe readable, which does the same.
void pass_pause(PauseClock& clock, const CntrIds& ids, const Directions& held) {
  pause_clock_start(clock);
  PlayersPause players = {};
  bool quiet[PLAYER_COUNT] = {};  // nothing more to wait for from the player
  for (std::size_t p = 0; p < ids.size(); ++p) {
    if (ids[p] == NO_CNTR) continue;
    players[p] = {true, held[p] != 0, controller_reads_well(ids[p]), false};
  }
  const bool timed = pause_needs_clock(players);
  bool keystroke = false;
  while (!keystroke && !pause_may_end_early(players)) {
    Waited waited;
    for (std::size_t p = 0; p < ids.size(); ++p) {
      if (players[p].assigned && !quiet[p]) {
        waited.add(controller_wait_fd(ids[p]), static_cast<int>(p));
      }
    }
    const TerminalPause terminal = terminal_now();
    if (terminal == TerminalPause::keystroke) waited.add(console_wait_fd(), TERMINAL);
    if (terminal == TerminalPause::elsewhere) waited.add(console_taken_fd(), TERMINAL_TAKEN);
    int watch[2];
    watch_fds(watch);
    for (int fd : watch) waited.add(fd, DEVICE_WATCH);
    const std::int64_t until_deadline_ns = timed ? pause_clock_left_ns(clock) : 0;
    if (timed && until_deadline_ns <= 0) break;
    const std::int64_t wait_ns = pause_wait_ns(timed, until_deadline_ns, terminal);
    const timespec limit = {static_cast<time_t>(wait_ns / 1'000'000'000),
                            static_cast<long>(wait_ns % 1'000'000'000)};
    // After the wait the clock is read again: before the next wait, or as
    // the pause ends.
    const int ready_count =
        clock.wait(waited.fds, static_cast<nfds_t>(waited.count), wait_ns >= 0 ? &limit : nullptr);
    // A fg that sent no SIGCONT: the terminal's mode is taken now, and the
    // next wait is for a keystroke.
    if (terminal == TerminalPause::elsewhere) console_reenter();
    if (ready_count <= 0) continue;  // the time is up, or a handler ran: the rules again
    bool devices_changed = false;
    for (int i = 0; i < waited.count; ++i) {
      const pollfd& ready = waited.fds[i];
      if (ready.revents == 0) continue;
      const int who = waited.whose[i];
      if (who == TERMINAL_TAKEN) {
        empty(ready.fd);
      } else if (who == TERMINAL) {
        if ((ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
          console_forget_hung_up();
        } else {
          // It ends the loop before any further pass, unless a stop gave
          // the terminal back meanwhile.
          keystroke = console_wait_fd() == ready.fd;
        }
      } else if (who == DEVICE_WATCH) {
        devices_changed = true;
      } else {
        // A new X, a failed read (said at the next pass), or a controller
        // that went away (found at the next pass) wakes its player.
        const Taken taken = take_in_now(ids[static_cast<std::size_t>(who)]);
        PlayerPause& player = players[static_cast<std::size_t>(who)];
        player.woke = player.woke || taken != Taken::unchanged;
        quiet[who] = taken == Taken::failed || (ready.revents & (POLLHUP | POLLERR)) != 0;
      }
    }
    if (!devices_changed) continue;
    // Taken in after the players' own: a player's controller that comes,
    // goes or is replaced wakes its player, any other change none.
    int was[PLAYER_COUNT];
    for (std::size_t p = 0; p < ids.size(); ++p) {
      was[p] = players[p].assigned ? controller_wait_fd(ids[p]) : -1;
    }
    follow_device_changes();
    for (std::size_t p = 0; p < ids.size(); ++p) {
      if (!players[p].assigned || was[p] == controller_wait_fd(ids[p])) continue;
      players[p].woke = true;
      quiet[p] = false;
    }
  }
  pause_clock_end(clock, timed);
}
