// The abnormal end: the signal handlers. A signal that ends keyconv undoes
// every change it made outside itself (undo_list.h), then runs the end step
// (the virtual keyboard's), then ends keyconv by that signal. A stop undoes
// what must not outlast it, and a continue makes it again and runs the
// continue step (the terminal's). The handlers know nothing of what they
// undo.
#pragma once

// Every signal whose default action ends the process, crashes included,
// ends keyconv so. A stop (Ctrl+Z, a background job's SIGTTOU or SIGTTIN)
// and a continue, as above. A signal that was ignored when keyconv started
// stays ignored.
void install_signal_handlers();

// What the handlers run after the changes: at an end, once every change is
// undone; after a continue, once the changes are made again. Either may be
// null; both are async-signal-safe.
void set_end_step(void (*at_end)());
void set_continue_step(void (*at_continue)());
