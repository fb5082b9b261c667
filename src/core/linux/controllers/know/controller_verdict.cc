// Judging a node by udev's verdict or by its capabilities.
#if !defined(__linux__)
#error "controller_verdict.cc belongs to the Linux build only"
#endif

#include "controller_verdict.h"

#include <libevdev/libevdev.h>

#include <cstdio>
#include <cstring>

#include "udev_verdict.h"

bool judge_node(const char* sys_class_input, int number, bool with_udev, InputNode& node,
                NodeVerdict& verdict) {
  if (!read_input_node(sys_class_input, number, node)) return false;
  verdict = {is_controller(node.caps), true};
  if (!with_udev) return true;
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

namespace {

DeviceCaps caps_of(const libevdev* dev) {
  DeviceCaps caps = {};
  const auto take = [dev](unsigned int type, auto& words, unsigned int last) {
    for (unsigned int code = 0; code <= last; ++code) {
      if (libevdev_has_event_code(dev, type, code)) set_code(words, code);
    }
  };
  for (unsigned int type = 0; type <= EV_MAX; ++type) {
    if (libevdev_has_event_type(dev, type)) set_code(caps.ev, type);
  }
  take(EV_KEY, caps.key, KEY_MAX);
  take(EV_ABS, caps.abs, ABS_MAX);
  take(EV_REL, caps.rel, REL_MAX);
  for (unsigned int property = 0; property <= INPUT_PROP_MAX; ++property) {
    if (libevdev_has_property(dev, property)) set_code(caps.prop, property);
  }
  return caps;
}

template <std::size_t N>
bool same_words(const std::uint64_t (&a)[N], const std::uint64_t (&b)[N]) {
  return std::memcmp(a, b, sizeof a) == 0;
}

// sysfs shows the first line of a text, as far as the node's field holds.
template <std::size_t N>
void first_line(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text != nullptr ? text : "");
  field[std::strcspn(field, "\n")] = '\0';
}

// The identity of the device opened, as sysfs would describe it. No
// ID_PATH: the port is its phys.
DeviceIdentity identity_of(const libevdev* dev) {
  DeviceIdentity who = {};
  who.bus = static_cast<std::uint16_t>(libevdev_get_id_bustype(dev));
  who.vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(dev));
  who.product = static_cast<std::uint16_t>(libevdev_get_id_product(dev));
  first_line(who.phys, libevdev_get_phys(dev));
  first_line(who.uniq, libevdev_get_uniq(dev));
  first_line(who.name, libevdev_get_name(dev));
  return who;
}

}  // namespace

bool opened_as_judged(const libevdev* dev, const InputNode& node) {
  DeviceIdentity judged = node.identity;
  judged.id_path[0] = '\0';
  if (likeness(judged, identity_of(dev)) != Likeness::same_port) return false;
  const DeviceCaps caps = caps_of(dev);
  return same_words(caps.ev, node.caps.ev) && same_words(caps.key, node.caps.key) &&
         same_words(caps.abs, node.caps.abs) && same_words(caps.rel, node.caps.rel) &&
         same_words(caps.prop, node.caps.prop);
}
