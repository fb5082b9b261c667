// Which id a controller gets: its own again after a re-plug, on the same
// port or another, and a free one otherwise; one rule, by serial number,
// port and model. And the id table's transitions, as sequences of what
// the watch and the reads report. Pure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../src/core/linux/controllers/know/id_table.h"

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
    IdTable table = {};
    for (int id = 0; id < 3; ++id) {
      table.ids[id] = {c.ids[id].state, c.ids[id].player, {id, 0, -1, identity(c.ids[id].pad)}};
    }
    EXPECT_EQ(choose_id(table, identity(c.back)), c.id) << c.what;
  }
}

TEST(DeviceIdentity, SixteenHeldIdsLeaveNoneForASeventeenth) {
  IdTable table = {};
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    table.ids[id] = {id % 2 == 0 ? PRESENT : ABSENT,
                     false,
                     {id, 0, -1, identity({.product = static_cast<std::uint16_t>(id)})}};
  }
  EXPECT_EQ(choose_id(table, identity({.product = 99})), -1);
  EXPECT_EQ(choose_id(table, identity({.product = 5})), 5);
}

// What the watch, the reads and the assignment report, in order: a
// controller appears at node N as the kernel's input device M; goes (a
// read found it gone); its node is removed; the watch lost changes and
// lists the nodes present; a player takes an id.
struct Event {
  enum Kind { appears, goes, removed, relisted, player } kind;
  int node = -1;
  int instance = -1;
  Pad pad = {};
  std::vector<int> listed = {};
  // appears: the id it takes and the id whose controller went (-1: none);
  // goes, player: the id; removed: the id it frees; relisted: the ids gone.
  int id = -1;
  int gone = -1;
  std::vector<int> went = {};
};

Event appears(int node, int instance, const Pad& pad, int id, int gone = -1) {
  return {Event::appears, node, instance, pad, {}, id, gone};
}
Event goes(int id) { return {Event::goes, -1, -1, {}, {}, id}; }
Event removed(int node, int id) { return {Event::removed, node, -1, {}, {}, id}; }
Event relisted(std::vector<int> listed, std::vector<int> went) {
  return {Event::relisted, -1, -1, {}, std::move(listed), -1, -1, std::move(went)};
}
Event player(int id) { return {Event::player, -1, -1, {}, {}, id}; }

TEST(IdTable, FollowsWhatTheWatchAndTheReadsReport) {
  const Pad pad_1 = {PORT_1};
  const Pad pad_2 = {PORT_2};
  const Pad other_model = {.id_path = PORT_1, .product = 0x1010};
  const struct {
    const char* what;
    std::vector<Event> events;
    IdState id_0;  // at the end
  } cases[] = {
      {"re-plugged at its old number while the queue was lost: the stale one goes, its id back",
       {appears(5, 10, pad_1, 0), player(0), relisted({3, 5}, {}), appears(5, 11, pad_1, 0, 0)},
       PRESENT},
      {"listed again after a lost queue, the same device: nothing changes",
       {appears(5, 10, pad_1, 0), relisted({5}, {}), appears(5, 10, pad_1, -1)},
       PRESENT},
      {"its node missing from the list: gone, and back at another number",
       {appears(5, 10, pad_1, 0), appears(6, 11, pad_2, 1), relisted({6}, {0}),
        appears(7, 12, pad_1, 0)},
       PRESENT},
      {"a read finds it gone; it comes back at its number",
       {appears(5, 10, pad_1, 0), goes(0), appears(5, 11, pad_1, 0)},
       PRESENT},
      {"gone; another model at its number takes a free id",
       {appears(5, 10, pad_1, 0), goes(0), appears(5, 11, other_model, 1)},
       ABSENT},
      {"another model at the number of a present one, its removal lost",
       {appears(5, 10, pad_1, 0), appears(5, 11, other_model, 1, 0)},
       ABSENT},
      {"removed, its number reused by another model, then back elsewhere",
       {appears(5, 10, pad_1, 0), appears(6, 11, pad_2, 1), player(1), removed(6, 1),
        appears(6, 12, other_model, 2), removed(6, 2), appears(9, 13, pad_2, 1)},
       PRESENT},
      {"a removal of a node no controller holds frees nothing",
       {appears(5, 10, pad_1, 0), removed(4, -1)},
       PRESENT},
      {"the same number and device, the instance unknown (no sysfs link): open already",
       {appears(5, -1, pad_1, 0), appears(5, -1, pad_1, -1)},
       PRESENT},
  };
  for (const auto& c : cases) {
    IdTable table = {};
    int step = 0;
    for (const Event& event : c.events) {
      const std::string at = std::string(c.what) + ", event " + std::to_string(++step);
      switch (event.kind) {
        case Event::appears: {
          const NodeDevice device = {event.node, 0x0d40, event.instance, identity(event.pad)};
          const IdChanges changes = id_appeared(table, device);
          EXPECT_EQ(changes.taken, event.id) << at;
          EXPECT_EQ(changes.gone, event.gone) << at;
          break;
        }
        case Event::goes:
          id_gone(table, event.id);
          break;
        case Event::removed:
          EXPECT_EQ(id_removed_at(table, event.node), event.id) << at;
          break;
        case Event::relisted: {
          int gone[JOYSTICK_IDS];
          const int went =
              ids_relisted(table, event.listed.data(), static_cast<int>(event.listed.size()), gone);
          EXPECT_EQ(std::vector<int>(gone, gone + went), event.went) << at;
          break;
        }
        case Event::player:
          id_taken_by_player(table, event.id);
          break;
      }
    }
    EXPECT_EQ(table.ids[0].state, c.id_0) << c.what;
  }
}

}  // namespace
