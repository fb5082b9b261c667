// Whole start-ups, from the entry routine to the exit code, through the
// scripted platform. A keystroke waits from the start, so each run ends as
// soon as the start messages are out.
#include "../src/app/startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../src/core/key_output.h"
#include "expected_text.h"
#include "fake_platform.h"

namespace {

int run_with(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"keyconv"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  return run_program(Pacing::paced, static_cast<int>(argv.size() - 1), argv.data());
}

// Player 1 on id 0 presses and lets go; player 2 on id 1 presses.
FakeScript two_controllers() { return {.joysticks = {{0, {PRESSED, UP}}, {1, {UP, PRESSED}}}}; }

struct ArgumentCase {
  std::vector<std::string> args;
  std::string threshold_message;
};

TEST(Startup, PrintsExactMessagesForEachKindOfArgument) {
  const ArgumentCase cases[] = {
      {{}, expected::NO_ARGUMENT},
      {{"50"}, expected::argument_set(50)},
      {{"007"}, expected::argument_set(7)},
      {{""}, expected::argument_set(0)},
      {{"4294967296"}, expected::argument_set(0)},
      {{"2147483648"}, expected::argument_set(-2147483648LL)},
      {{"12a"}, expected::INVALID_ARGUMENT},
      {{"-12"}, expected::INVALID_ARGUMENT},
      {{" 12"}, expected::INVALID_ARGUMENT},
      {{"\xEF\xBC\x91\xEF\xBC\x92"}, expected::INVALID_ARGUMENT},
      {{"10", "20"}, ""},
      {{"x", "y", "z"}, ""},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    fake_start(two_controllers());
    EXPECT_EQ(run_with(c.args), 0);
    EXPECT_EQ(fake_output(), expected::started(1, c.threshold_message));
  }
}

// The platform learns the players' ids as soon as they are settled, before
// the threshold is: player 2 skipped, alone, or on its own controller.
TEST(Startup, ThePlatformLearnsThePlayersOnceBothAreSettled) {
  const struct {
    FakeScript script;
    const char* told;
  } cases[] = {
      {two_controllers(), "players_assigned 0 1"},
      {{.joysticks = {{0, {PRESSED, UP, PRESSED}}}}, "players_assigned 0 -1"},
      {{.num_devs = {1}, .joysticks = {{0, {PRESSED, UP}}}}, "players_assigned 0 -1"},
  };
  for (const auto& c : cases) {
    fake_start(c.script);
    EXPECT_EQ(run_with({}), 0);
    const std::vector<std::string> around =
        fake_calls_of({"print", "players_assigned"}, "print " + expected::RELEASE_ALL);
    ASSERT_GE(around.size(), 4u) << c.told;
    EXPECT_EQ(*(around.end() - 4), c.told);
    EXPECT_EQ(*(around.end() - 3), "print " + expected::NO_ARGUMENT) << c.told;
    EXPECT_EQ(std::count(around.begin(), around.end(), c.told), 1) << c.told;
  }
}

TEST(Startup, OneIdDriverAsksOnlyForPlayer1) {
  fake_start({.num_devs = {1}, .joysticks = {{0, {PRESSED, UP}}}});
  EXPECT_EQ(run_with({}), 0);
  EXPECT_EQ(fake_output(), expected::started_with_one_id());
  // Nothing but id 0 is ever probed, and player 2 is never read.
  EXPECT_EQ(fake_calls_of({"joyGetPosEx", "Sleep", "keybd_event"}),
            (std::vector<std::string>{"joyGetPosEx 0", "joyGetPosEx 0"}));
}

TEST(Startup, Player1ButtonAtThe2PPromptSkipsPlayer2) {
  fake_start({.joysticks = {{0, {PRESSED, UP, PRESSED}}}});
  EXPECT_EQ(run_with({"5"}), 0);
  EXPECT_EQ(fake_output(), expected::started(-1, expected::argument_set(5)));
}

// From the start, an end that skips the orderly one lets go of the keys.
TEST(Startup, TheKeysAreLetGoOfAtASuddenEndFromTheStart) {
  fake_start(two_controllers());
  EXPECT_EQ(run_with({}), 0);
  EXPECT_EQ(fake_sudden_end(), &release_all_keys_now);
}

TEST(Startup, NoIdsAtFirstKeepsAskingEvery3Ms) {
  FakeScript script = two_controllers();
  script.num_devs = {0, 0, 0, 16};
  fake_start(script);
  EXPECT_EQ(run_with({}), 0);
  EXPECT_EQ(fake_output(), expected::started(1));
  const std::vector<std::string> start(fake_calls().begin() + 2, fake_calls().begin() + 10);
  EXPECT_EQ(start, (std::vector<std::string>{"joyGetNumDevs", "Sleep 3", "joyGetNumDevs", "Sleep 3",
                                             "joyGetNumDevs", "Sleep 3", "joyGetNumDevs",
                                             "joyGetPosEx 0"}));
}

TEST(Startup, ButtonsHeldAcrossTheReleaseWaitHoldBackThe2PPrompt) {
  FakeScript script;
  script.joysticks[0] = repeat(PRESSED, 3) + std::vector<JoyStep>{UP};
  script.joysticks[4] = {PRESSED, PRESSED, PRESSED, UP, PRESSED};  // another one held longer
  fake_start(script);
  EXPECT_EQ(run_with({}), 0);
  EXPECT_EQ(fake_output(), expected::started(4));
  // Four release passes over all 16 ids, with no pause between them; the
  // 2P prompt only after the pass in which nothing was down.
  const std::vector<std::string>& calls = fake_calls();
  const auto release = std::find(calls.begin(), calls.end(), "print " + expected::RELEASE_ALL);
  const auto prompt = std::find(calls.begin(), calls.end(), "print " + expected::text("setup_2p"));
  ASSERT_LT(release, prompt);
  const long probes = std::count_if(
      release, prompt, [](const std::string& call) { return call.rfind("joyGetPosEx", 0) == 0; });
  EXPECT_EQ(probes, 4 * 16);
  EXPECT_EQ(std::count(release, prompt, "Sleep 3"), 0);
}

}  // namespace
