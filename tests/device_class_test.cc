// Which devices are controllers, their buttons, sysfs bitmaps, and which id
// a controller gets.
#include "../src/core/linux/controllers/device_class.h"

#include <gtest/gtest.h>

#include <cstring>

#include "../src/core/linux/controllers/controller_ids.h"
#include "../src/core/linux/controllers/input_sysfs.h"
#include "real_devices.h"

namespace {

const char* class_name(DeviceClass found) {
  constexpr const char* NAMES[] = {"other", "accelerometer", "tablet",  "touchpad",
                                   "mouse", "touchscreen",   "joystick"};
  return NAMES[static_cast<int>(found)];
}

TEST(DeviceClass, RealDevicesAreWhatUdevCallsThem) {
  using namespace real_devices;
  const struct {
    DeviceShape shape;
    DeviceClass expected;
    bool controller;
  } cases[] = {
      {LAPTOP_TOUCHPAD, DeviceClass::touchpad, false},
      {TOUCHSCREEN, DeviceClass::touchscreen, false},
      {GRAPHICS_TABLET, DeviceClass::tablet, false},
      {VM_ABSOLUTE_MOUSE, DeviceClass::mouse, false},
      {GAMEPAD_MOTION_SENSOR, DeviceClass::accelerometer, false},
      {GAMEPAD_TOUCHPAD, DeviceClass::touchpad, false},
      {GAMEPAD, DeviceClass::joystick, true},
      {TURNTABLE, DeviceClass::joystick, true},
      {KEYBOARD_WITH_EXTRA_BUTTONS, DeviceClass::other, false},
      {KEYCONV_KEYBOARD, DeviceClass::other, false},
      {MANY_BUTTON_MOUSE, DeviceClass::mouse, false},
  };
  for (const auto& c : cases) {
    const DeviceCaps caps = caps_of(c.shape);
    EXPECT_STREQ(class_name(classify_device(caps)), class_name(c.expected)) << c.shape.name;
    EXPECT_EQ(is_controller(caps), c.controller) << c.shape.name;
  }
}

TEST(DeviceClass, JoystickPartsAloneMakeAJoystickButKeyconvNeedsX) {
  const struct {
    const char* what;
    bool joystick, controller;
    std::vector<unsigned int> keys, axes, props = {}, rel = {};
  } cases[] = {
      {"pedals: joystick axes only", true, false, {}, {ABS_RX, ABS_RY}},
      {"a wheel: throttle and brake", true, true, {}, {ABS_X, ABS_THROTTLE, ABS_BRAKE}},
      {"X and a d-pad", true, true, {BTN_DPAD_UP, BTN_DPAD_DOWN}, {ABS_X}},
      {"X and extra triggers", true, true, {BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40}, {ABS_X}},
      {"X and a single button", false, false, {BTN_TRIGGER}, {ABS_X}},
      {"X and a single joystick axis", false, false, {}, {ABS_X, ABS_THROTTLE}},
      {"X and BTN_0 only", false, false, {BTN_0, BTN_1}, {ABS_X}},
      {"X and Y and two buttons", true, true, {BTN_A, BTN_B}, {ABS_X, ABS_Y}},
      {"X and Y and one button", false, false, {BTN_A}, {ABS_X, ABS_Y}},
      {"X, Y, Z without keys", false, false, {}, {ABS_X, ABS_Y, ABS_Z}},
      {"X, Y, Z and two buttons", true, true, {BTN_A, BTN_B}, {ABS_X, ABS_Y, ABS_Z}},
      {"a pen beats a trigger", false, false, {BTN_TRIGGER, BTN_STYLUS}, {ABS_X, ABS_Y}},
      {"touch beats a trigger", false, false, {BTN_TRIGGER, BTN_TOUCH}, {ABS_X, ABS_Y}},
      {"a direct finger",
       false,
       false,
       {BTN_TOOL_FINGER},
       {ABS_X, ABS_Y, ABS_RX},
       {INPUT_PROP_DIRECT}},
      {"a tablet pad",
       false,
       false,
       {BTN_0, BTN_1, BTN_TRIGGER, BTN_THUMB},
       {ABS_X},
       {},
       {REL_WHEEL}},
  };
  for (const auto& c : cases) {
    const DeviceCaps caps = caps_of({"", c.keys, c.axes, c.rel, c.props});
    EXPECT_EQ(classify_device(caps) == DeviceClass::joystick, c.joystick) << c.what;
    EXPECT_EQ(is_controller(caps), c.controller) << c.what;
  }
}

TEST(DeviceClass, ControllerButtonsAreTheJoystickCodesInAscendingOrder) {
  DeviceShape pad = real_devices::GAMEPAD;
  pad.keys.insert(pad.keys.begin(), {BTN_TRIGGER_HAPPY1, BTN_DPAD_LEFT, KEY_A, BTN_0, BTN_LEFT});
  std::uint16_t codes[MAX_BUTTONS];
  const int count = controller_buttons(caps_of(pad), codes);
  const std::vector<std::uint16_t> expected = {
      BTN_SOUTH,  BTN_EAST,      BTN_NORTH,         BTN_WEST, BTN_TL,
      BTN_TR,     BTN_SELECT,    BTN_START,         BTN_MODE, BTN_THUMBL,
      BTN_THUMBR, BTN_DPAD_LEFT, BTN_TRIGGER_HAPPY1};
  EXPECT_EQ(std::vector<std::uint16_t>(codes, codes + count), expected);
}

TEST(DeviceClass, AtMost32ButtonsCountAndAManyButtonMouseHasNone) {
  const DeviceShape big = {
      "", code_range(BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40), {ABS_X}, {}, {}};
  std::uint16_t codes[MAX_BUTTONS];
  ASSERT_EQ(controller_buttons(caps_of(big), codes), 32);
  EXPECT_EQ(codes[0], BTN_TRIGGER_HAPPY1);
  EXPECT_EQ(codes[31], BTN_TRIGGER_HAPPY32);
  EXPECT_EQ(controller_buttons(caps_of(real_devices::MANY_BUTTON_MOUSE), codes), 0);
}

TEST(DeviceClass, ReadsSysfsBitmapsInTheKernelsWordSize) {
  const struct {
    const char* text;
    int word_bits;
    bool ok;
    std::uint64_t words[6];
  } cases[] = {
      {"120013\n", 64, true, {0x120013}},
      {"1 0", 64, true, {0, 1}},
      {"3 ffffffffffffffff 0\n", 64, true, {0, 0xffffffffffffffff, 3}},
      {"0", 64, true, {}},
      {"  a   b ", 64, true, {0xb, 0xa}},
      {"", 64, false, {}},
      {"12g", 64, false, {}},
      {"10000000000000000", 64, false, {}},  // 17 digits: no 64-bit word
      {"100000000", 32, false, {}},          // 9 digits: no 32-bit word
      {"1 0 0 0 0 0 0", 64, false, {}},      // bit 384 does not fit in 6 words
      {"0 0 0 0 0 0 0 5", 64, true, {5}},    // zero words beyond fit are fine
      // Real devices' bitmaps as 64-bit and 32-bit kernels print them: the
      // turntable's buttons (BTN_TRIGGER to BTN_BASE5), a pad's (BTN_SOUTH
      // to BTN_THUMBR), a touchpad's keys and axes.
      {"7ff00000000 0 0 0 0", 64, true, {0, 0, 0, 0, 0x7ff00000000}},
      {"7ff 0 0 0 0 0 0 0 0 0", 32, true, {0, 0, 0, 0, 0x7ff00000000}},
      {"7cdb000000000000 0 0 0 0", 64, true, {0, 0, 0, 0, 0x7cdb000000000000}},
      {"7cdb0000 0 0 0 0 0 0 0 0 0", 32, true, {0, 0, 0, 0, 0x7cdb000000000000}},
      {"e520 10000 0 0 0 0", 64, true, {0, 0, 0, 0, 0x10000, 0xe520}},
      {"e520 0 10000 0 0 0 0 0 0 0 0", 32, true, {0, 0, 0, 0, 0x10000, 0xe520}},
      {"2e0800000000003", 64, true, {0x2e0800000000003}},
      {"2e08000 3", 32, true, {0x2e0800000000003}},
  };
  for (const auto& c : cases) {
    std::uint64_t words[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(parse_caps_bitmap(c.text, c.word_bits, words), c.ok)
        << '"' << c.text << "\" in " << c.word_bits << "-bit words";
    if (!c.ok) continue;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(words[i], c.words[i]) << c.text << " word " << i;
  }
}

TEST(DeviceClass, TheKernelsWordSizeFollowsItsMachine) {
  for (const char* machine : {"x86_64", "aarch64", "ppc64le", "s390x", "riscv64"}) {
    EXPECT_EQ(machine_word_bits(machine), 64) << machine;
  }
  for (const char* machine : {"i686", "i386", "armv7l", "armv6l", "armv8l", "mips"}) {
    EXPECT_EQ(machine_word_bits(machine), 32) << machine;
  }
  EXPECT_EQ(kernel_word_bits(), 64) << "the tests run on a 64-bit kernel";
}

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
