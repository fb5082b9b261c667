// Whole runs of both programs, from the entry routine to the exit code,
// through the scripted platform: exact output bytes and the exact order of
// key events, pauses and timer calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../src/app/startup.h"
#include "expected_text.h"
#include "fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

// Reads that controller assignment takes before the loop starts.
std::vector<JoyStep> assign_1p_alone(std::uint32_t x) { return {pressed_at(x), at(x)}; }
std::vector<JoyStep> assign_1p_of_two(std::uint32_t x) { return {pressed_at(x), at(x), at(x)}; }
std::vector<JoyStep> assign_2p(std::uint32_t x) { return {at(x), pressed_at(x)}; }

int run(Pacing pacing, const FakeScript& script) {
  fake_start(script);
  const char* argv[] = {"keyconv", nullptr};
  return run_program(pacing, 1, argv);
}

// What the loop does, without the reads: key events, pauses, timer calls.
Calls loop_effects() {
  return fake_calls_of({"keybd_event", "Sleep 1", "timeBeginPeriod", "timeEndPeriod"});
}

// The last start message: the loop's calls follow it.
const std::string AFTER_START = "print " + expected::text("press_key_to_end");

// Builds the expected effects pass by pass, paced or not.
struct Expect {
  Pacing pacing;
  Calls calls;
  explicit Expect(Pacing p) : pacing(p) {
    if (pacing == Pacing::paced) calls.push_back("timeBeginPeriod 1");
  }
  Expect& pass(Calls keys = {}) {
    calls.insert(calls.end(), keys.begin(), keys.end());
    if (pacing == Pacing::paced) calls.push_back("Sleep 1");
    return *this;
  }
  Expect& passes(int count) {
    for (int i = 0; i < count; ++i) pass();
    return *this;
  }
  Calls shutdown(Calls releases) {
    if (pacing == Pacing::paced) calls.push_back("timeEndPeriod 1");
    calls.insert(calls.end(), releases.begin(), releases.end());
    return calls;
  }
};

class BothPrograms : public testing::TestWithParam<Pacing> {};

INSTANTIATE_TEST_SUITE_P(Loop, BothPrograms, testing::Values(Pacing::paced, Pacing::busy),
                         [](const auto& param_info) {
                           return param_info.param == Pacing::paced ? "keyconv" : "keyconv_busy";
                         });

TEST_P(BothPrograms, TurnUpHoldStopAndTurnBack) {
  FakeScript script;
  script.num_devs = {1};
  script.joysticks[0] = assign_1p_alone(1000) + std::vector<JoyStep>{at(1000), at(1010)} +
                        repeat(at(1010), 34) + std::vector<JoyStep>{at(1000)};
  script.kbhit = kbhit_after(1 + 34 + 1);  // passes: the move, 34 still, the turn back
  EXPECT_EQ(run(GetParam(), script), 0);

  EXPECT_EQ(fake_output(), expected::started_with_one_id());
  // Key-up on the 34th unchanged read with the default threshold of 32.
  EXPECT_EQ(loop_effects(), Expect(GetParam())
                                .pass({"keybd_event A0 2A 0"})
                                .passes(33)
                                .pass({"keybd_event A0 2A 2"})
                                .pass({"keybd_event A2 1D 0"})
                                .shutdown({"keybd_event A2 1D 2"}));
  EXPECT_TRUE(fake_calls_of({"joyGetPosEx 1"}).empty()) << "player 2 was never assigned";
}

TEST_P(BothPrograms, BothPlayersMovingInOnePass) {
  FakeScript script;
  script.joysticks[0] = assign_1p_of_two(500) + std::vector<JoyStep>{at(500), at(600), at(700)};
  script.joysticks[1] = assign_2p(9000) + std::vector<JoyStep>{at(9000), at(8000), at(8000)};
  script.kbhit = kbhit_after(2);
  EXPECT_EQ(run(GetParam(), script), 0);

  // Both players are read before either's keys change, player 1 first.
  const Calls reads_and_keys = fake_calls_of({"joyGetPosEx", "keybd_event"}, AFTER_START);
  ASSERT_GE(reads_and_keys.size(), 6u);
  EXPECT_EQ(Calls(reads_and_keys.begin(), reads_and_keys.begin() + 6),
            (Calls{"joyGetPosEx 0", "joyGetPosEx 0", "joyGetPosEx 1", "joyGetPosEx 1",
                   "keybd_event A0 2A 0", "keybd_event A3 1D 1"}));
  EXPECT_EQ(loop_effects(), Expect(GetParam())
                                .pass({"keybd_event A0 2A 0", "keybd_event A3 1D 1"})
                                .passes(1)
                                .shutdown({"keybd_event A0 2A 2", "keybd_event A3 1D 3"}));
}

TEST_P(BothPrograms, ShutdownReleasesOnlyWhatIsHeld) {
  FakeScript script;
  script.joysticks[0] = assign_1p_of_two(500) + std::vector<JoyStep>{at(500), at(400)};
  script.joysticks[1] = assign_2p(9000) + std::vector<JoyStep>{at(9000), at(9000)};
  script.kbhit = kbhit_after(1);
  EXPECT_EQ(run(GetParam(), script), 0);
  EXPECT_EQ(loop_effects(),
            Expect(GetParam()).pass({"keybd_event A2 1D 0"}).shutdown({"keybd_event A2 1D 2"}));
}

TEST_P(BothPrograms, KeystrokeWaitingBeforeTheLoopEndsAtOnce) {
  FakeScript script;
  script.joysticks[0] = assign_1p_of_two(500) + std::vector<JoyStep>{at(900)};
  script.joysticks[1] = assign_2p(500) + std::vector<JoyStep>{at(900)};
  script.kbhit = {1};
  EXPECT_EQ(run(GetParam(), script), 0);
  EXPECT_EQ(fake_output(), expected::started(1));
  const Calls after_start = fake_calls_of({""}, AFTER_START);
  if (GetParam() == Pacing::paced) {
    EXPECT_EQ(after_start, (Calls{"timeBeginPeriod 1", "_kbhit 1", "timeEndPeriod 1"}));
  } else {
    EXPECT_EQ(after_start, (Calls{"_kbhit 1"}));
  }
}

TEST_P(BothPrograms, FailedReadsPrintErrorEachPassAndKeepTheKey) {
  FakeScript script;
  script.num_devs = {1};
  script.joysticks[0] =
      assign_1p_alone(100) + std::vector<JoyStep>{at(100), at(90), FAILED, FAILED, FAILED, at(90)};
  script.kbhit = kbhit_after(5);
  EXPECT_EQ(run(GetParam(), script), 0);
  EXPECT_EQ(fake_output(),
            expected::started_with_one_id() + expected::ERROR + expected::ERROR + expected::ERROR);
  EXPECT_EQ(
      loop_effects(),
      Expect(GetParam()).pass({"keybd_event A2 1D 0"}).passes(4).shutdown({"keybd_event A2 1D 2"}));
}

// A stop that the platform asks for (on Windows, Ctrl+C or the console
// closed) ends the conversion as a keystroke does: the timer resolution
// given back, then the held key let go. The console is not asked again.
TEST_P(BothPrograms, AStopAskedByThePlatformEndsInOrder) {
  FakeScript script;
  script.num_devs = {1};
  script.joysticks[0] = assign_1p_alone(100) + std::vector<JoyStep>{at(100), at(120), at(120)};
  script.kbhit = {0};
  script.stop = {0, 0, 1};
  EXPECT_EQ(run(GetParam(), script), 0);
  EXPECT_EQ(
      loop_effects(),
      Expect(GetParam()).pass({"keybd_event A0 2A 0"}).passes(1).shutdown({"keybd_event A0 2A 2"}));
  EXPECT_EQ(fake_calls_of({"_kbhit", "stop_requested"}, AFTER_START),
            (Calls{"_kbhit 0", "_kbhit 0", "stop_requested"}));
}

TEST(BusyProgram, NeverPausesNorTouchesTheTimerResolution) {
  FakeScript script;
  script.num_devs = {1};
  script.joysticks[0] = assign_1p_alone(0) + std::vector<JoyStep>{at(0), at(5), at(5), at(9)};
  script.kbhit = kbhit_after(200);
  EXPECT_EQ(run(Pacing::busy, script), 0);
  EXPECT_TRUE(fake_calls_of({"Sleep 1", "timeBeginPeriod", "timeEndPeriod"}).empty());
}

TEST(PacedProgram, ThresholdFromTheCommandLineSetsTheHold) {
  FakeScript script;
  script.num_devs = {1};
  script.joysticks[0] =
      assign_1p_alone(0) + std::vector<JoyStep>{at(0), at(70000)} + repeat(at(70000), 3);
  script.kbhit = kbhit_after(4);
  fake_start(script);
  const char* argv[] = {"keyconv", "1", nullptr};
  EXPECT_EQ(run_program(Pacing::paced, 2, argv), 0);
  // 70000 - 0 is past the wrap limit: a turn downwards; key-up after 3 still reads.
  EXPECT_EQ(loop_effects(), Expect(Pacing::paced)
                                .pass({"keybd_event A2 1D 0"})
                                .passes(2)
                                .pass({"keybd_event A2 1D 2"})
                                .shutdown({}));
}

}  // namespace
