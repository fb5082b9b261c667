#include "controller_assignment.h"

#include "joy_info.h"
#include "messages.h"
#include "platform.h"

namespace {

constexpr DWORD ASSIGN_RETRY_MS = 3;

bool is_pressed(UINT id, JOYINFOEX& info) {
  return joyGetPosEx(id, &info) == JOYERR_NOERROR && info.dwButtons != 0;
}

// One scan pass: the lowest id with a button down, or NO_CNTR. The count of
// ids is asked anew before every probe.
CntrId scan_pass(JOYINFOEX& info) {
  for (UINT id = 0; id < joyGetNumDevs(); ++id) {
    if (is_pressed(id, info)) return static_cast<CntrId>(id);
  }
  return NO_CNTR;
}

CntrId wait_for_press(JOYINFOEX& info) {
  for (;;) {
    const CntrId id = scan_pass(info);
    if (id != NO_CNTR) return id;
    Sleep(ASSIGN_RETRY_MS);
  }
}

// Probes every id on every pass, without pausing, until a pass finds no
// button down on any joystick (or there is no id to probe).
void wait_for_release(JOYINFOEX& info) {
  bool any_pressed = true;
  while (any_pressed) {
    any_pressed = false;
    for (UINT id = 0; id < joyGetNumDevs(); ++id) {
      if (is_pressed(id, info)) any_pressed = true;
    }
  }
}

}  // namespace

void assign_controllers(CntrIds& ids) {
  JOYINFOEX info = prepared_joy_info();

  say(Msg::setup_1p);
  say(Msg::press_1p);
  ids[0] = wait_for_press(info);
  say(Msg::cntr_id_ok, ids[0]);
  say(Msg::release_all);
  wait_for_release(info);

  if (joyGetNumDevs() <= 1) return;

  say(Msg::setup_2p);
  say(Msg::press_2p);
  say(Msg::skip_2p);
  const CntrId found = wait_for_press(info);
  // Player 1's own button skips player 2.
  ids[1] = found == ids[0] ? NO_CNTR : found;
  say(Msg::cntr_id_ok, ids[1]);
}
