// Which id a controller gets: its own again after a re-plug, on the same
// port or another, and a free one otherwise. Pure.
#include "../src/core/linux/controllers/controller_ids.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

DeviceIdentity identity(const char* id_path, std::uint16_t product, const char* phys) {
  DeviceIdentity who = {};
  std::strncpy(who.id_path, id_path, sizeof who.id_path - 1);
  who.bus = 3;
  who.vendor = 0x1ccf;
  who.product = product;
  std::strncpy(who.phys, phys, sizeof who.phys - 1);
  std::strcpy(who.name, "Turntable");
  return who;
}

TEST(ControllerIds, AControllerThatComesBackGetsItsOldId) {
  const DeviceIdentity a = identity("pci-0000:00:14.0-usb-0:1:1.0", 0x8048, "usb-1/input0");
  const DeviceIdentity b = identity("pci-0000:00:14.0-usb-0:2:1.0", 0x8048, "usb-2/input0");
  const DeviceIdentity c = identity("pci-0000:00:14.0-usb-0:3:1.0", 0x1010, "usb-3/input0");
  IdHolder holders[JOYSTICK_IDS] = {};
  EXPECT_EQ(choose_id(holders, a), 0);
  holders[0] = {IdState::present, a};
  EXPECT_EQ(choose_id(holders, b), 1);
  holders[1] = {IdState::present, b};

  // Both unplugged together, b back first: no swap.
  holders[0].state = holders[1].state = IdState::absent;
  EXPECT_EQ(choose_id(holders, b), 1);
  holders[1].state = IdState::present;
  // A new controller does not take an absent controller's id.
  EXPECT_EQ(choose_id(holders, c), 2);
  EXPECT_EQ(choose_id(holders, a), 0);
}

// Plugged back into a port that no absent controller had, a controller
// takes back the lowest absent id of its own model; a port's match comes
// first, and another model, name or serial number takes a free id.
TEST(ControllerIds, AControllerOnAnotherPortTakesBackTheLowestAbsentIdOfItsModel) {
  const DeviceIdentity port_1 = identity("pci-0000:00:14.0-usb-0:1:1.0", 0x8048, "usb-1/input0");
  const DeviceIdentity port_2 = identity("pci-0000:00:14.0-usb-0:2:1.0", 0x8048, "usb-2/input0");
  const DeviceIdentity port_3 = identity("pci-0000:00:14.0-usb-0:3:1.0", 0x8048, "usb-3/input0");
  const DeviceIdentity no_id_path = identity("", 0x8048, "usb-3/input0");
  const DeviceIdentity other_product = identity("pci-0000:00:14.0-usb-0:3:1.0", 0x1010, "");
  DeviceIdentity other_name = port_3;
  std::strcpy(other_name.name, "Other Pad");
  DeviceIdentity other_serial = port_3;
  std::strcpy(other_serial.uniq, "00:11:22:33:44:55");
  constexpr IdState ABSENT = IdState::absent;
  constexpr IdState PRESENT = IdState::present;
  const struct {
    const char* what;
    IdState id_0, id_1;  // held for port_1 and port_2
    DeviceIdentity back;
    int id;
  } cases[] = {
      {"both absent, a third port: the lower id", ABSENT, ABSENT, port_3, 0},
      {"both absent, id 1's port: the port first", ABSENT, ABSENT, port_2, 1},
      {"id 0 present, a third port: id 1", PRESENT, ABSENT, port_3, 1},
      {"both absent, no ID_PATH: the model", ABSENT, ABSENT, no_id_path, 0},
      {"another product: a free id", ABSENT, ABSENT, other_product, 2},
      {"another name: a free id", ABSENT, ABSENT, other_name, 2},
      {"another serial number: a free id", ABSENT, ABSENT, other_serial, 2},
      {"both present: a free id", PRESENT, PRESENT, port_3, 2},
  };
  for (const auto& c : cases) {
    IdHolder holders[JOYSTICK_IDS] = {{c.id_0, port_1}, {c.id_1, port_2}};
    EXPECT_EQ(choose_id(holders, c.back), c.id) << c.what;
  }
}

TEST(ControllerIds, WithoutIdPathTheUsbIdentityDecides) {
  const DeviceIdentity a = identity("", 0x8048, "usb-1/input0");
  DeviceIdentity same = a;
  DeviceIdentity other_port = identity("", 0x8048, "usb-2/input0");
  DeviceIdentity other_uniq = a;
  std::strcpy(other_uniq.uniq, "00:11:22:33:44:55");
  DeviceIdentity other_path = identity("pci-0000:00:14.0-usb-0:1:1.0", 0x8048, "usb-1/input0");
  EXPECT_TRUE(same_device(a, same));
  EXPECT_FALSE(same_device(a, other_port));
  EXPECT_FALSE(same_device(a, other_uniq));
  EXPECT_TRUE(same_device(a, other_path)) << "one side without ID_PATH: the rest decides";
  DeviceIdentity moved = other_path;
  std::strcpy(moved.id_path, "pci-0000:00:14.0-usb-0:4:1.0");
  EXPECT_FALSE(same_device(other_path, moved)) << "both with ID_PATH: it decides";
}

TEST(ControllerIds, SixteenHeldIdsLeaveNoneForASeventeenth) {
  IdHolder holders[JOYSTICK_IDS] = {};
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    holders[id] = {id % 2 == 0 ? IdState::present : IdState::absent,
                   identity("", static_cast<std::uint16_t>(id), "")};
  }
  EXPECT_EQ(choose_id(holders, identity("", 99, "")), -1);
  EXPECT_EQ(choose_id(holders, identity("", 5, "")), 5);
}

}  // namespace
