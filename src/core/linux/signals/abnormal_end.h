// The abnormal end: what keyconv undoes when a signal ends it, and in which
// order, and what it undoes and does again around a stop. Each unit
// registers its own step; the handlers run the steps and know nothing of
// what they undo. While a key is written, a signal waits until it is.
#pragma once

// The steps, in the order the handlers run them.
enum class EndStep {
  terminal,     // the terminal's mode
  keys,         // the held keys, let go where a reader of the keyboard still sees it
  axis_filter,  // the controllers' X filter
  keyboard,     // the virtual keyboard, destroyed once its last events are read
  count,
};

// A unit's step: at_end at a signal that ends keyconv; at_stop before a
// stop (Ctrl+Z, a background job's SIGTTOU or SIGTTIN) and at_continue
// after it. Any may be null; all are async-signal-safe.
struct EndActions {
  void (*at_end)();
  void (*at_stop)();
  void (*at_continue)();
};

// Registers step, or replaces what was registered for it.
void register_end_step(EndStep step, EndActions actions);

// Every signal whose default action ends the process, crashes included,
// runs every step's at_end, then ends keyconv by that same signal. A stop
// runs every at_stop before it and every at_continue after it, as does a
// continue that comes without a stop. A signal that was ignored when
// keyconv started stays ignored.
void install_signal_handlers();

// Around the write of a key and the note of what it holds: a signal that
// comes in between waits until key_write_ends, which raises it again, so
// that no step sees a key half pressed. Holding signals back instead would
// cost two system calls a key event, on the way from a move to its key.
void key_write_begins();
void key_write_ends();
