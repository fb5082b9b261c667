// Which id a controller gets: its own again after a re-plug, on the same
// port or another, and a free one otherwise; one rule, by serial number,
// port and model. Pure.
#include "../src/core/linux/controllers/know/device_identity.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A turntable: product 0x8048 of vendor 0x1ccf on USB, no serial number.
struct Pad {
  const char* id_path = "";
  const char* phys = "";
  const char* uniq = "";
  const char* name = "Turntable";
  std::uint16_t product = 0x8048;
};

DeviceIdentity identity(const Pad& pad) {
  DeviceIdentity who = {};
  std::strncpy(who.id_path, pad.id_path, sizeof who.id_path - 1);
  who.bus = 3;
  who.vendor = 0x1ccf;
  who.product = pad.product;
  std::strncpy(who.phys, pad.phys, sizeof who.phys - 1);
  std::strncpy(who.uniq, pad.uniq, sizeof who.uniq - 1);
  std::strncpy(who.name, pad.name, sizeof who.name - 1);
  return who;
}

constexpr const char* PORT_1 = "pci-0000:00:14.0-usb-0:1:1.0";
constexpr const char* PORT_2 = "pci-0000:00:14.0-usb-0:2:1.0";
constexpr const char* PORT_3 = "pci-0000:00:14.0-usb-0:3:1.0";

constexpr IdState FREE = IdState::free;
constexpr IdState ABSENT = IdState::absent;
constexpr IdState PRESENT = IdState::present;

struct Held {
  IdState state = FREE;
  Pad pad = {};
  bool player = false;
};

// Ids 0 to 2 as a row holds them, the device that appears, and the id it
// must get.
TEST(DeviceIdentity, AControllerThatAppearsTakesTheIdOfTheDeviceItIs) {
  const struct {
    const char* what;
    Held ids[3];
    Pad back;
    int id;
  } cases[] = {
      {"back on its own port, the other absent too",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}}},
       {PORT_2},
       1},
      {"both absent, a third port: the lower id",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}}},
       {PORT_3},
       0},
      {"id 0 present, a third port: id 1", {{PRESENT, {PORT_1}}, {ABSENT, {PORT_2}}}, {PORT_3}, 1},
      {"both present: a free id", {{PRESENT, {PORT_1}}, {PRESENT, {PORT_2}}}, {PORT_3}, 2},
      {"no ID_PATH: phys is the port",
       {{ABSENT, {"", "usb-1/input0"}}, {ABSENT, {"", "usb-2/input0"}}},
       {"", "usb-2/input0"},
       1},
      {"ID_PATH on one side only: phys is the port",
       {{ABSENT, {"", "usb-1/input0"}}, {ABSENT, {"", "usb-2/input0"}}},
       {PORT_1, "usb-2/input0"},
       1},
      {"another product on its port: a free id",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}}},
       {.id_path = PORT_1, .product = 0x1010},
       2},
      {"another name on its port: a free id",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}}},
       {.id_path = PORT_1, .name = "Other Pad"},
       2},
      {"a serial number on a port that had none: a free id",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}}},
       {PORT_1, "", "00:11:22:33:44:55"},
       2},
      // Two pads with serial numbers, back on each other's ports: no swap.
      {"serial A back on B's port",
       {{ABSENT, {PORT_1, "", "A-0001"}}, {ABSENT, {PORT_2, "", "B-0002"}}},
       {PORT_2, "", "A-0001"},
       0},
      {"serial B back on A's port",
       {{ABSENT, {PORT_1, "", "A-0001"}}, {ABSENT, {PORT_2, "", "B-0002"}}},
       {PORT_1, "", "B-0002"},
       1},
      {"one serial number on two pads: the port decides",
       {{ABSENT, {PORT_1, "", "0000"}}, {ABSENT, {PORT_2, "", "0000"}}},
       {PORT_2, "", "0000"},
       1},
      // A spare pad of the player's model, unplugged earlier, holds id 0.
      {"the player's pad on a new port: the player's id, not the spare's",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}, true}},
       {PORT_3},
       1},
      {"the player's pad on the spare's port: the port first",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}, true}},
       {PORT_1},
       0},
      {"two players' pads on a new port: the lower",
       {{ABSENT, {PORT_1}}, {ABSENT, {PORT_2}, true}, {ABSENT, {PORT_3}, true}},
       {"pci-0000:00:14.0-usb-0:4:1.0"},
       1},
      {"a player's pad present: the spare's id",
       {{ABSENT, {PORT_1}}, {PRESENT, {PORT_2}, true}},
       {PORT_3},
       0},
  };
  for (const auto& c : cases) {
    IdHolder holders[JOYSTICK_IDS] = {};
    for (int id = 0; id < 3; ++id) {
      holders[id] = {c.ids[id].state, identity(c.ids[id].pad), c.ids[id].player};
    }
    EXPECT_EQ(choose_id(holders, identity(c.back)), c.id) << c.what;
  }
}

TEST(DeviceIdentity, SixteenHeldIdsLeaveNoneForASeventeenth) {
  IdHolder holders[JOYSTICK_IDS] = {};
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    holders[id] = {id % 2 == 0 ? PRESENT : ABSENT,
                   identity({.product = static_cast<std::uint16_t>(id)}), false};
  }
  EXPECT_EQ(choose_id(holders, identity({.product = 99})), -1);
  EXPECT_EQ(choose_id(holders, identity({.product = 5})), 5);
}

}  // namespace
