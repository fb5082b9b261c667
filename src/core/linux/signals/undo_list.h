// What keyconv has changed outside itself, which a signal handler must undo:
// the terminal's mode, the keys it holds down, the controllers' X filters.
// Each change is recorded here before it is made, and forgotten only after
// it is undone, so a signal that comes at any point finds what to undo:
// undoing a change not made yet, or undone already, changes nothing. The
// handlers (abnormal_end.h) undo them in Change's order.
#pragma once

enum class Change {
  terminal_mode,  // slot 0: the controlling terminal
  key,            // slot: the key's index on the virtual keyboard
  x_filter,       // slot: the controller's joystick id
  count,
};

// The slots of each kind of change.
constexpr int MOST_CHANGES_OF_A_KIND = 16;

// How a kind of change is undone, and what becomes of it around a stop
// (Ctrl+Z, a background job's SIGTTOU or SIGTTIN). All async-signal-safe;
// each gets the fd and value of its record.
struct ChangeActions {
  void (*undo)(int fd, int value);
  enum class AtStop {
    keep,    // stays made through the stop
    forget,  // undone before the stop and forgotten: made anew, if at all, by its unit
    redo,    // undone before the stop, made again after it
  } at_stop;
  void (*redo)(int fd, int value);  // for AtStop::redo
};

// The unit that makes a kind of change says how it is undone, before its
// first record.
void set_change_actions(Change kind, const ChangeActions& actions);

// Before a change: what undoing it needs. Replaces slot's record.
void record_change(Change kind, int slot, int fd, int value);

// Undoes slot's change, if one is recorded, and then forgets it.
void undo_change(Change kind, int slot);

// Whether slot holds a change.
bool change_recorded(Change kind, int slot);

// For the handlers: every change undone at an end; before a stop and after
// it, as each kind's AtStop says.
void undo_every_change();
void undo_changes_for_stop();
void redo_changes_after_stop();
