// Whether an event node is a controller, decided before it is opened: by
// udev's ID_INPUT_JOYSTICK where udev has the node in its database, by the
// capability rules (device_class.h) otherwise.
#pragma once

#include "input_sysfs.h"

struct libevdev;

struct NodeVerdict {
  bool controller;
  // False while udev runs but has no database entry for the node: the
  // capability rules decided, and udev may not have set its permissions yet.
  bool settled;
};

// Describes eventN from sysfs and judges it; udev's ID_PATH, where there is
// one, joins the identity. False when the node is gone.
bool judge_node(int number, InputNode& node, NodeVerdict& verdict);

// The device opened at a node is the one judged there: the same id, name,
// phys and capabilities. Between the judgement and the open, a device may
// have gone and another taken its node's number.
bool opened_as_judged(const libevdev* dev, const InputNode& node);
