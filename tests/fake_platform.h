// A scripted stand-in for the platform layer. Each joystick id plays its own
// list of read results, one step per joyGetPosEx call on that id, and
// joyGetNumDevs and _kbhit play lists of their own; the last entry of every
// list repeats. Every call is recorded in order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../src/core/platform.h"
#include "../src/core/platform_hooks.h"

struct JoyStep {
  MMRESULT result = JOYERR_NOERROR;
  std::uint32_t x = 0;
  std::uint32_t buttons = 0;
};

struct FakeScript {
  std::vector<UINT> num_devs = {16};
  std::map<UINT, std::vector<JoyStep>> joysticks;  // ids not listed fail to read
  std::vector<int> kbhit = {1};
  std::vector<int> stop = {0};  // stop_requested, one per call
};

// Starts a fresh run: the script, an empty record, and the core's own state
// (motion tracks, key states) back at their start.
void fake_start(const FakeScript& script);

// Sets player's track as primed with these values, to reach counts no
// script can read up to.
void set_motion_track(int player, std::uint32_t last_x, std::int32_t still_count,
                      Direction direction);

// Every call so far, one line each: "joyGetNumDevs", "joyGetPosEx 3",
// "keybd_event A3 1D 3" (key, scan code, flags), "Sleep 1",
// "timeBeginPeriod 1", "timeEndPeriod 1", "_kbhit 0", "print <text>",
// "players_assigned 0 -1", and "stop_requested" when it asks for a stop.
const std::vector<std::string>& fake_calls();

// The calls whose line starts with one of the prefixes; with after, only
// those after the first call that is after.
std::vector<std::string> fake_calls_of(std::initializer_list<const char*> prefixes,
                                       const std::string& after = "");

// What the program gave on_sudden_end to let go of its keys; nullptr before.
void (*fake_sudden_end())();

// Everything written to standard output.
const std::string& fake_output();

// Step helpers: a read at x with no button down or with one, a failed read.
constexpr JoyStep at(std::uint32_t x) { return {JOYERR_NOERROR, x, 0}; }
constexpr JoyStep pressed_at(std::uint32_t x) { return {JOYERR_NOERROR, x, 1}; }
constexpr JoyStep UP = at(0);
constexpr JoyStep PRESSED = pressed_at(0);
constexpr JoyStep FAILED = {JOYERR_UNPLUGGED, 0, 0};
std::vector<JoyStep> repeat(JoyStep step, int times);
std::vector<JoyStep> operator+(std::vector<JoyStep> a, const std::vector<JoyStep>& b);
std::vector<int> kbhit_after(int misses);  // misses zeros, then 1
