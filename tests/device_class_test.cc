// Which devices are controllers, their buttons, and sysfs bitmaps.
#include "../src/core/linux/controllers/know/device_class.h"

#include <gtest/gtest.h>

#include <cstring>

#include "../src/core/linux/controllers/know/input_sysfs.h"
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

}  // namespace
