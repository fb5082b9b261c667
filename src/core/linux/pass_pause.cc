// pause_between_passes: waits with ppoll on the assigned controllers, the
// terminal while keyconv has it, and the device watch while a controller
// is absent, until the rule (pause_rule.h) lets the next pass begin.
#if !defined(__linux__)
#error "pass_pause.cc belongs to the Linux build only"
#endif

#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>

#include "../platform.h"
#include "console_tty.h"
#include "controller_table.h"
#include "device_watch.h"
#include "joystick_evdev.h"
#include "pause_rule.h"

namespace {

constexpr std::int64_t PAUSE_NS = POLL_SLEEP_MS * 1'000'000LL;
constexpr int TERMINAL = -1;
constexpr int TERMINAL_TAKEN = -2;
constexpr int DEVICE_WATCH = -3;

// When the pass that runs now began; 0 when not known, after a wait
// without a clock: the next pause then counts from its own start.
std::int64_t pass_began_ns = 0;

std::int64_t monotonic_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

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

// Takes in what a controller's readiness brought; true when its player
// woke: a new X, a failed read (said at the next pass), or a controller
// that went away (found at the next pass).
bool woke_by(Controller& controller) {
  switch (take_events(controller)) {
    case ReadOutcome::current:
      controller.current = true;
      return x_position(controller) != controller.last_x;
    case ReadOutcome::failed:
      controller.read_failed = true;
      return true;
    case ReadOutcome::gone:
      return true;
  }
  return true;
}

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
  const std::int64_t deadline = (pass_began_ns != 0 ? pass_began_ns : monotonic_ns()) + PAUSE_NS;
  PlayersPause players = {};
  bool quiet[PLAYER_COUNT] = {};  // nothing more to wait for from the player
  for (std::size_t p = 0; p < ids.size(); ++p) {
    if (ids[p] == NO_CNTR) continue;
    const Controller* controller = open_controller(ids[p]);
    players[p] = {true, held[p] != 0, controller != nullptr && controller->last_read_ok, false};
  }
  const bool clock = pause_needs_clock(players);
  std::int64_t now_ns = 0;  // with a clock, as of the last look at it
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
    if (clock) {
      now_ns = monotonic_ns();
      if (now_ns >= deadline) break;
      left = {static_cast<time_t>((deadline - now_ns) / 1'000'000'000),
              static_cast<long>((deadline - now_ns) % 1'000'000'000)};
    }
    const int ready_count =
        ppoll(waited.fds, static_cast<nfds_t>(waited.count), clock ? &left : nullptr, nullptr);
    // ppoll leaves the time it did not wait in left: no clock to read when a
    // controller ends the pause.
    if (clock) now_ns = deadline - (left.tv_sec * 1'000'000'000 + left.tv_nsec);
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
        PlayerPause& player = players[static_cast<std::size_t>(who)];
        player.woke = woke_by(*controller) || player.woke;
        quiet[who] = controller->read_failed || (ready.revents & (POLLHUP | POLLERR)) != 0;
      }
    }
  }
  pass_began_ns = clock ? now_ns : 0;
}
