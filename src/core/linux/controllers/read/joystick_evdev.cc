// joyGetNumDevs and joyGetPosEx: what changed among the nodes taken in,
// then a controller's pending events, then its X axis and buttons as winmm
// reports them.
#if !defined(__linux__)
#error "joystick_evdev.cc belongs to the Linux build only"
#endif

#include "../../../platform.h"
#include "controller_table.h"
#include "read_handoff.h"

UINT joyGetNumDevs() { return JOYSTICK_IDS; }

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  if (id >= JOYSTICK_IDS) return JOYERR_PARMS;
  const int index = static_cast<int>(id);
  follow_device_changes();
  Controller* controller = open_controller(index);
  if (controller == nullptr) return controller_absent(index) ? JOYERR_UNPLUGGED : JOYERR_PARMS;
  const ReadOutcome outcome = hand_to_read(*controller);
  if (outcome == ReadOutcome::gone) unplug_controller(index);
  if (outcome != ReadOutcome::current) return JOYERR_UNPLUGGED;
  info->dwXpos = controller->handoff.last_x;
  info->dwButtons = controller->buttons_down;
  return JOYERR_NOERROR;
}
