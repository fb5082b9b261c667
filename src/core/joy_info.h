#pragma once

#include "platform.h"

// A joystick record prepared for a read of every axis, the hat and the buttons.
inline JOYINFOEX prepared_joy_info() {
  JOYINFOEX info{};
  info.dwSize = sizeof(JOYINFOEX);
  info.dwFlags = JOY_RETURNALL;
  return info;
}
