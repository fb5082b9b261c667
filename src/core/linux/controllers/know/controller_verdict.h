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

// Describes eventN from sys_class_input and judges it, asking udev's
// database too when with_udev; udev's ID_PATH, where there is one, joins
// the identity. False when the node is gone.
bool judge_node(const char* sys_class_input, int number, bool with_udev, InputNode& node,
                NodeVerdict& verdict);

// The device opened at a node is the one judged there: by the identity rule
// (device_identity.h) the same model and serial number on the same port,
// with the same capabilities. Between the judgement and the open, a device
// may have gone and another taken its node's number.
bool opened_as_judged(const libevdev* dev, const InputNode& node);
