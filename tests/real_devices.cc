#include "real_devices.h"

DeviceCaps caps_of(const DeviceShape& shape) {
  DeviceCaps caps = {};
  set_code(caps.ev, EV_SYN);
  if (!shape.keys.empty()) set_code(caps.ev, EV_KEY);
  if (!shape.axes.empty()) set_code(caps.ev, EV_ABS);
  if (!shape.rel.empty()) set_code(caps.ev, EV_REL);
  for (unsigned int code : shape.keys) set_code(caps.key, code);
  for (unsigned int code : shape.axes) set_code(caps.abs, code);
  for (unsigned int code : shape.rel) set_code(caps.rel, code);
  for (unsigned int code : shape.props) set_code(caps.prop, code);
  return caps;
}
