// The project's own hooks into the platform, beside the operations that
// bear Windows' names (platform.h): the start and end of a run, the end of
// controller assignment, the pause between passes and message output. Each
// binding that implements platform.h implements these too.
#pragma once

#include "platform.h"
#include "types.h"

// keyconv's pause per pass.
constexpr DWORD POLL_SLEEP_MS = 1;

// The pause between two passes of keyconv's polling loop. held is each
// player's direction after the pass, what the player's keys hold. Windows
// sleeps POLL_SLEEP_MS. Linux waits for the controllers: a pass whose read
// could count toward letting a held key go begins no sooner than
// POLL_SLEEP_MS after the pass before it began, any other as soon as a
// controller changes, and with nothing held and nothing failing it waits
// without a clock.
void pause_between_passes(const CntrIds& ids, const Directions& held);

// Writes a message of the catalogue to standard output, as printf does.
int msg_printf(const char* format, ...);

// Controller assignment is over: ids are the players' controllers until the
// end. Linux: only these lose their X axis's filter, and get it back at the
// end. Windows: from now on, Ctrl+C, Ctrl+Break and the console's closing
// end the conversion in order (the timer resolution and the keys given
// back) before the program ends as Windows ends it.
void players_assigned(const CntrIds& ids);

// What lets go of every held key when the program ends without its orderly
// end, from any thread. Windows: a fault, and a console event whose stop
// the loop did not reach within its bound. Linux: nothing calls it (the
// kernel lets go of the keys with the virtual keyboard, and a signal lets
// go of them itself).
void on_sudden_end(void (*let_go)());

// The platform asks the conversion to end, as a console keystroke does
// (Windows: a console event since players_assigned). Linux: never; a signal
// lets go of the keys itself.
bool stop_requested();

// Acquires what the binding needs before the first operation (Linux: the
// virtual keyboard and the terminal mode). False means the program cannot
// work at all; the binding has already said why on standard error.
bool platform_open();

// Gives back what platform_open took. Safe to call more than once. Windows:
// after a console event's stop, ends the program with the status Windows
// gives that event.
void platform_close();
