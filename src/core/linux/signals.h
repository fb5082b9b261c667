// What keyconv does on the signals that end or pause it.
#pragma once

// Every signal whose default action ends the process, crashes included:
// the terminal gets its mode back, every held key its key-up (which a
// reader of the keyboard's node still sees), the controllers their axis
// filter; then keyconv ends by that same signal. Ctrl+Z, and the stops of
// a background job at the terminal (SIGTTOU, SIGTTIN), let the keys go and
// give the terminal back before stopping; a continue presses them again
// and, in the foreground, takes the terminal's mode again. A signal that
// was ignored when keyconv started stays ignored.
void install_signal_handlers();
