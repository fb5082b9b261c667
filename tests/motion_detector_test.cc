#include "../src/core/motion_detector.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "expected_text.h"
#include "fake_platform.h"

namespace {

// Plays the reads (the priming read first) for player 1 on id 0 and returns
// the direction after each call; calls = number of read_direction calls.
std::vector<Direction> directions(const std::vector<JoyStep>& reads, int calls,
                                  std::int32_t anti_chatter) {
  fake_start({.joysticks = {{0, reads}}});
  const CntrIds ids = {0, NO_CNTR};
  std::vector<Direction> result;
  for (int i = 0; i < calls; ++i) result.push_back(read_direction(0, ids, anti_chatter));
  return result;
}

using Dirs = std::vector<Direction>;

struct DetectorCase {
  const char* name;
  std::vector<JoyStep> reads;
  std::int32_t anti_chatter;
  Dirs expected;
};

TEST(ReadDirection, FollowsTheTable) {
  const DetectorCase cases[] = {
      {"at rest from the start", {at(500), at(500), at(500)}, 32, {0, 0}},
      {"priming read failed, small X rises from 0", {FAILED, at(32766)}, 32, {+1}},
      {"priming read failed, large X wraps down from 0", {FAILED, at(32767)}, 32, {-1}},
      {"jump up by 32766 is a move up", {at(1000), at(33766)}, 32, {+1}},
      {"jump up by 32767 is a wrap downwards", {at(1000), at(33767)}, 32, {-1}},
      {"jump down by 32766 is a move down", {at(33766), at(1000)}, 32, {-1}},
      {"jump down by 32767 is a wrap upwards", {at(33767), at(1000)}, 32, {+1}},
      {"100 to 65000 wraps down", {at(100), at(65000)}, 32, {-1}},
      {"65000 to 100 wraps up", {at(65000), at(100)}, 32, {+1}},
      // Signed, 0x80000010 would lie below 0x10 and read as a wrap upwards.
      {"full 32-bit range compares unsigned", {at(0x10u), at(0x80000010u)}, 32, {-1}},
      {"threshold 0: move, hold once, then 0",
       {at(10), at(11), at(11), at(11), at(11)},
       0,
       {+1, +1, 0, 0}},
      {"negative threshold: first still read gives 0", {at(10), at(9), at(9)}, INT_MIN, {-1, 0}},
      {"alternating moves never reach 0",
       {at(10), at(11), at(10), at(11), at(10), at(11)},
       0,
       {+1, -1, +1, -1, +1}},
      {"reversal skips 0", {at(10), at(20), at(15)}, 32, {+1, -1}},
      {"failed poll keeps the direction and the count",
       {at(10), at(11), at(11), FAILED, FAILED, at(11), at(11)},
       1,
       {+1, +1, +1, +1, +1, 0}},
      {"failed poll compares with the read before it",
       {at(10), at(20), FAILED, at(15)},
       32,
       {+1, +1, -1}},
  };
  for (const DetectorCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int calls = static_cast<int>(c.reads.size()) - 1;
    EXPECT_EQ(directions(c.reads, calls, c.anti_chatter), c.expected);
  }
}

TEST(ReadDirection, KeyUpComesOnTheThresholdPlus2ThUnchangedRead) {
  for (std::int32_t anti_chatter : {1, 5, 32}) {
    SCOPED_TRACE("threshold " + std::to_string(anti_chatter));
    const int still_reads = anti_chatter + 2;
    const auto reads = std::vector<JoyStep>{at(100), at(200)} + repeat(at(200), still_reads);
    const Dirs got = directions(reads, 1 + still_reads, anti_chatter);
    Dirs want(static_cast<std::size_t>(1 + still_reads), +1);
    want.back() = 0;
    EXPECT_EQ(got, want);
  }
}

TEST(ReadDirection, PrimingHappensOncePerPlayerEvenWhenItFails) {
  fake_start({.joysticks = {{0, {FAILED, at(5), at(5)}}, {3, {at(7), at(7), at(8)}}}});
  const CntrIds ids = {0, 3};
  EXPECT_EQ(read_direction(0, ids, 32), +1);
  EXPECT_EQ(read_direction(1, ids, 32), 0);
  EXPECT_EQ(read_direction(0, ids, 32), +1);
  EXPECT_EQ(read_direction(1, ids, 32), +1);
  EXPECT_EQ(fake_calls_of({"joyGetPosEx"}),
            (std::vector<std::string>{"joyGetPosEx 0", "joyGetPosEx 0", "joyGetPosEx 3",
                                      "joyGetPosEx 3", "joyGetPosEx 0", "joyGetPosEx 3"}));
}

TEST(ReadDirection, FailedPollPrintsErrorEachTimeButFailedPrimingIsSilent) {
  fake_start({.joysticks = {{0, {FAILED, FAILED, FAILED, at(3)}}}});
  const CntrIds ids = {0, NO_CNTR};
  for (int i = 0; i < 3; ++i) read_direction(0, ids, 32);
  EXPECT_EQ(fake_output(), expected::ERROR + expected::ERROR);
}

TEST(ReadDirection, LargestThresholdStopsTheCountAtTheTopOfItsRange) {
  fake_start({.joysticks = {{0, {at(1)}}}});
  const CntrIds ids = {0, NO_CNTR};
  read_direction(0, ids, INT_MAX);  // primes the track
  set_motion_track(0, 1, INT_MAX - 2, +1);
  // Counting past INT_MAX would be signed overflow (the sanitizer build
  // stops on it); the count stops at the top and the direction stays.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(read_direction(0, ids, INT_MAX), +1);
}

}  // namespace
