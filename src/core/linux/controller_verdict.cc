// Judging a node by udev's verdict or by its capabilities.
#if !defined(__linux__)
#error "controller_verdict.cc belongs to the Linux build only"
#endif

#include "controller_verdict.h"

#include "device_watch.h"
#include "udev_input.h"

bool judge_node(int number, InputNode& node, NodeVerdict& verdict) {
  if (!read_input_node(watch_paths().sys_class_input, number, node)) return false;
  verdict = {is_controller(node.caps), true};
  if (!watch_uses_udev()) return true;
  switch (udev_joystick_verdict(number, node.identity.id_path, sizeof node.identity.id_path)) {
    case UdevVerdict::joystick:
      // keyconv reads the X axis: a joystick without one is no use here.
      verdict.controller = has_code(node.caps.abs, ABS_X);
      break;
    case UdevVerdict::not_joystick:
      verdict.controller = false;
      break;
    case UdevVerdict::unknown:
      verdict.settled = false;
      break;
  }
  return true;
}
