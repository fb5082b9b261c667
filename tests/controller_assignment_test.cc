#include "../src/core/controller_assignment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"

namespace {

constexpr JoyStep FAILED_BUT_BUTTONS = {JOYERR_UNPLUGGED, 0, 0xFF};

CntrIds assign(const FakeScript& script) {
  fake_start(script);
  CntrIds ids = {NO_CNTR, NO_CNTR};
  assign_controllers(ids);
  return ids;
}

TEST(AssignControllers, LowestPressedIdWins) {
  EXPECT_EQ(assign({.joysticks = {{2, {PRESSED, UP, UP}}, {5, {PRESSED, UP, PRESSED}}}}),
            (CntrIds{2, 5}));
}

TEST(AssignControllers, ProbesInOrderAndSleeps3MsAfterAnEmptyPass) {
  FakeScript script;
  script.num_devs = {3};
  script.joysticks[1] = {UP, PRESSED, UP};
  script.joysticks[2] = {UP, UP};
  script.joysticks[0] = {UP, UP, UP, PRESSED};
  EXPECT_EQ(assign(script), (CntrIds{1, 0}));
  const std::vector<std::string> expected = {
      // player 1: an empty pass, then id 1 pressed
      "joyGetNumDevs", "joyGetPosEx 0", "joyGetNumDevs", "joyGetPosEx 1", "joyGetNumDevs",
      "joyGetPosEx 2", "joyGetNumDevs", "Sleep 3", "joyGetNumDevs", "joyGetPosEx 0",
      "joyGetNumDevs", "joyGetPosEx 1",
      // release wait: every id, one pass
      "joyGetNumDevs", "joyGetPosEx 0", "joyGetNumDevs", "joyGetPosEx 1", "joyGetNumDevs",
      "joyGetPosEx 2", "joyGetNumDevs",
      // the count asked once more, then player 2 on id 0
      "joyGetNumDevs", "joyGetNumDevs", "joyGetPosEx 0"};
  EXPECT_EQ(fake_calls_of({"joyGetNumDevs", "joyGetPosEx", "Sleep"}), expected);
}

TEST(AssignControllers, FailedReadIsNeverPressed) {
  EXPECT_EQ(assign({.joysticks = {{0, {FAILED_BUT_BUTTONS, FAILED_BUT_BUTTONS, PRESSED, UP, UP}},
                                  {1, {UP, UP, UP, PRESSED}}}}),
            (CntrIds{0, 1}));
  EXPECT_EQ(fake_calls_of({"Sleep"}).size(), 2u);
}

TEST(AssignControllers, Player1AndAnotherPressedAt2PPromptSkipsPlayer2) {
  EXPECT_EQ(assign({.joysticks = {{0, {PRESSED, UP, PRESSED}}, {3, {UP, PRESSED}}}}),
            (CntrIds{0, NO_CNTR}));
}

TEST(AssignControllers, ReleaseWaitEndsWhenTheCountDropsToZero) {
  FakeScript script;
  script.num_devs = {16, 16, 0};    // press found at the first probe; then no ids
  script.joysticks[0] = {PRESSED};  // held for ever
  EXPECT_EQ(assign(script), (CntrIds{0, NO_CNTR}));
}

TEST(AssignControllers, DoesNotWaitForPlayer2ToLetGo) {
  FakeScript script;
  script.joysticks[0] = {PRESSED, UP, UP};
  script.joysticks[1] = {UP, PRESSED};  // held from then on
  EXPECT_EQ(assign(script), (CntrIds{0, 1}));
  EXPECT_EQ(fake_calls().back(), "print  OK!\n(debug)CntrID=1\n\n");
}

}  // namespace
