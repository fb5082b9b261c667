// The records are shared with the signal handlers, which run on the same
// thread: each field is a volatile sig_atomic_t, and a record's state is
// written after its fd and value, behind a signal fence.
#include "undo_list.h"

#include <atomic>
#include <csignal>

namespace {

constexpr int KINDS = static_cast<int>(Change::count);

enum State : sig_atomic_t {
  none,
  made,     // recorded: the change is made, or about to be
  undoing,  // undo_change is undoing it: a continue must not make it again
};

struct Record {
  volatile sig_atomic_t state = none;
  volatile sig_atomic_t fd = -1;
  volatile sig_atomic_t value = 0;
};

Record records[KINDS][MOST_CHANGES_OF_A_KIND];
ChangeActions actions[KINDS] = {};
// A stop undid the changes that a continue makes again. A continue without
// such a stop (after SIGSTOP, which no handler sees) makes nothing again.
volatile sig_atomic_t undone_for_stop = 0;

Record& record_of(Change kind, int slot) { return records[static_cast<int>(kind)][slot]; }

void fence() { std::atomic_signal_fence(std::memory_order_seq_cst); }

void undo(int kind, Record& record) {
  if (record.state != none && actions[kind].undo != nullptr) {
    actions[kind].undo(record.fd, record.value);
  }
}

}  // namespace

void set_change_actions(Change kind, const ChangeActions& given) {
  actions[static_cast<int>(kind)] = given;
  fence();
}

void record_change(Change kind, int slot, int fd, int value) {
  Record& record = record_of(kind, slot);
  record.state = none;
  fence();
  record.fd = fd;
  record.value = value;
  fence();
  record.state = made;
  fence();
}

void undo_change(Change kind, int slot) {
  Record& record = record_of(kind, slot);
  if (record.state == none) return;
  record.state = undoing;
  fence();
  undo(static_cast<int>(kind), record);
  fence();
  record.state = none;
  fence();
}

bool change_recorded(Change kind, int slot) { return record_of(kind, slot).state != none; }

void undo_every_change() {
  for (int kind = 0; kind < KINDS; ++kind) {
    for (Record& record : records[kind]) undo(kind, record);
  }
}

void undo_changes_for_stop() {
  undone_for_stop = 1;
  for (int kind = 0; kind < KINDS; ++kind) {
    if (actions[kind].at_stop == ChangeActions::AtStop::keep) continue;
    for (Record& record : records[kind]) {
      undo(kind, record);
      if (actions[kind].at_stop == ChangeActions::AtStop::forget) record.state = none;
    }
  }
}

void redo_changes_after_stop() {
  if (undone_for_stop == 0) return;
  undone_for_stop = 0;
  for (int kind = 0; kind < KINDS; ++kind) {
    if (actions[kind].at_stop != ChangeActions::AtStop::redo) continue;
    for (Record& record : records[kind]) {
      if (record.state == made) actions[kind].redo(record.fd, record.value);
    }
  }
}
