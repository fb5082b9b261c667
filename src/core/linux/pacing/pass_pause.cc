// pause_between_passes: waits with ppoll on the assigned controllers, the
// terminal while keyconv has it, and the device watch while a controller
// is absent, until the rule (pause_rule.h) lets the next pass begin.
#if !defined(__linux__)
#error "pass_pause.cc belongs to the Linux build only"
#endif

#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

#include "../../platform.h"
#include "../../platform_hooks.h"
#include "../controllers/controller_table.h"
#include "../controllers/device_watch.h"
#include "../controllers/read_handoff.h"
#include "../terminal/console_tty.h"
#include "pause_clock.h"
#include "pause_rule.h"

namespace {

constexpr int TERMINAL = -1;
constexpr int TERMINAL_TAKEN = -2;
constexpr int DEVICE_WATCH = -3;

// When the running pass began, and when the pause's time is up.
PauseClock pause_clock = {monotonic_ns, POLL_SLEEP_MS * 1'000'000LL};

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

}  // namespace

// Signals are let in throughout. A handler that runs during the wait ends
// it, and the wait begins again; one that takes the terminal just before a
// wait without it makes the terminal's pipe readable, which does the same.
void pause_between_passes(const CntrIds& ids, const Directions& held) {
  pause_clock_start(pause_clock);
  PlayersPause players = {};
  bool quiet[PLAYER_COUNT] = {};  // nothing more to wait for from the player
  for (std::size_t p = 0; p < ids.size(); ++p) {
    if (ids[p] == NO_CNTR) continue;
    const Controller* controller = open_controller(ids[p]);
    players[p] = {true, held[p] != 0, controller != nullptr && controller->handoff.last_read_ok,
                  false};
  }
  const bool clock = pause_needs_clock(players);
  timespec left = {};
  bool keystroke = false;
  while (!keystroke && !pause_may_end_early(players)) {
    Waited waited;
    bool absent = false;  // a controller to wait for through the device watch
    for (std::size_t p = 0; p < ids.size(); ++p) {
      const Controller* controller = players[p].assigned ? open_controller(ids[p]) : nullptr;
      if (controller != nullptr && !quiet[p]) waited.add(controller->fd, static_cast<int>(p));
      absent = absent || (players[p].assigned && controller == nullptr);
    }
    const int terminal = console_wait_fd();
    waited.add(terminal, TERMINAL);
    if (terminal < 0) waited.add(console_taken_fd(), TERMINAL_TAKEN);
    if (absent) {
      int watch[2];
      watch_fds(watch);
      for (int fd : watch) waited.add(fd, DEVICE_WATCH);
    }
    if (clock && !pause_clock_left(pause_clock, left)) break;
    // After the wait the clock is read again: before the next wait, or as
    // the pause ends.
    const int ready_count =
        ppoll(waited.fds, static_cast<nfds_t>(waited.count), clock ? &left : nullptr, nullptr);
    if (ready_count <= 0) continue;  // the time is up, or a handler ran: the rules again
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
        // Takes the changes in: only an absent controller that came back
        // wakes its player, any other change none.
        for (std::size_t p = 0; p < ids.size(); ++p) {
          if (players[p].assigned && open_controller(ids[p]) == nullptr) {
            players[p].woke = players[p].woke || controller_for(ids[p]) != nullptr;
          }
        }
      } else if (Controller* controller = open_controller(ids[static_cast<std::size_t>(who)])) {
        // A new X, a failed read (said at the next pass), or a controller
        // that went away (found at the next pass) wakes its player.
        const Taken taken = take_in_now(*controller);
        PlayerPause& player = players[static_cast<std::size_t>(who)];
        player.woke = player.woke || taken != Taken::unchanged;
        quiet[who] = taken == Taken::failed || (ready.revents & (POLLHUP | POLLERR)) != 0;
      }
    }
  }
  pause_clock_end(pause_clock, clock);
}
