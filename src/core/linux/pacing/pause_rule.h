// What the pause between two passes of keyconv waits for, and when it may
// end. Pure. It waits for:
//  - each assigned player's controller: a new X, a failed read, the
//    controller gone (PlayerPause);
//  - the device watch, always: a player's controller may come, go or be
//    replaced by another at any time;
//  - the terminal (TerminalPause): a keystroke while keyconv has it in the
//    foreground; while another job has it, the moment keyconv gets it, which
//    no signal need announce (bash's fg sends SIGCONT to a stopped job only).
// A key is let go on the (threshold + 2)-th unchanged read of its player's
// X, so every pass whose read could be such a read must begin at least a
// pause's length after the pass before it began, whatever the other player
// does. Any other pass may begin as soon as there is something to read.
#pragma once

#include <cstdint>

#include "../../types.h"

// What the pause knows of a player.
struct PlayerPause {
  bool assigned;
  bool holds_key;  // the player's keys hold a direction
  bool readable;   // the controller is there and its last read succeeded
  bool woke;       // since the last read: X changed, or a read failed, or the controller went
};

using PlayersPause = PlayerPause[PLAYER_COUNT];

// What the pause knows of the terminal.
enum class TerminalPause {
  none,       // there is none, or it hung up
  keystroke,  // keyconv has it in the foreground: a keystroke ends the pause
  elsewhere,  // another job has it: looked at every TERMINAL_LOOK_NS
};

// How often the pause looks whether keyconv has become the foreground job:
// at most 10 wakes a second in the background, and a keystroke typed at fg
// is seen well within a quarter of a second.
constexpr std::int64_t TERMINAL_LOOK_NS = 100'000'000;

// The pause needs a clock while a pass can change something unbidden: a
// held key is let go after unchanged reads, and a failing controller says
// "Error" once a pass. Otherwise it waits for a controller, with no clock.
bool pause_needs_clock(const PlayersPause& players);

// Something woke, and no player who holds a key and reads well stayed
// unchanged: the next pass may begin before the pause's time is up.
bool pause_may_end_early(const PlayersPause& players);

// How long the next wait may last, in ns, -1 for as long as it takes:
// until_deadline_ns is what is left of the pause's time when it needs the
// clock (timed).
std::int64_t pause_wait_ns(bool timed, std::int64_t until_deadline_ns, TerminalPause terminal);
