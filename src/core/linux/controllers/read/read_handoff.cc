#include "read_handoff.h"

#include "controller_table.h"

int controller_wait_fd(int id) {
  const Controller* controller = open_controller(id);
  return controller != nullptr ? controller->fd : -1;
}

bool controller_reads_well(int id) {
  const Controller* controller = open_controller(id);
  return controller != nullptr && controller->handoff.last_read_ok;
}

Taken take_in_now(int id) {
  Controller* controller = open_controller(id);
  if (controller == nullptr) return Taken::gone;
  ReadHandoff& handoff = controller->handoff;
  switch (take_events(*controller)) {
    case ReadOutcome::current:
      handoff.taken_in = true;
      return x_position(*controller) != handoff.last_x ? Taken::moved : Taken::unchanged;
    case ReadOutcome::failed:
      handoff.failed_since = true;
      return Taken::failed;
    case ReadOutcome::gone:
      return Taken::gone;
  }
  return Taken::gone;
}

ReadOutcome hand_to_read(Controller& controller) {
  ReadHandoff& handoff = controller.handoff;
  const ReadOutcome outcome = handoff.taken_in ? ReadOutcome::current : take_events(controller);
  handoff.taken_in = false;
  if (outcome == ReadOutcome::gone) return outcome;
  // A failed read of the pause fails this read; the controller stays.
  handoff.last_read_ok = outcome == ReadOutcome::current && !handoff.failed_since;
  handoff.failed_since = false;
  if (!handoff.last_read_ok) return ReadOutcome::failed;
  handoff.last_x = x_position(controller);
  return ReadOutcome::current;
}
