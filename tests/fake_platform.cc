#include "fake_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// The motion detector and key output keep their state to themselves for a
// whole run; compiled here, in place of their own objects, they let
// fake_start begin each run as a new process would.
#include "../src/core/key_output.cc"
#include "../src/core/motion_detector.cc"

namespace {

// A script that never lets the program finish would hang the test run.
constexpr long CALL_LIMIT = 2'000'000;

FakeScript script;
std::map<UINT, std::size_t> joy_steps_taken;
std::size_t num_devs_taken = 0;
std::size_t kbhit_taken = 0;
std::size_t stop_taken = 0;
std::vector<std::string> calls;
std::string output;
void (*sudden_end)() = nullptr;

void record(std::string call) {
  if (static_cast<long>(calls.size()) >= CALL_LIMIT) {
    std::fprintf(stderr, "fake platform: more than %ld calls; the script never ends\n", CALL_LIMIT);
    std::abort();
  }
  calls.push_back(std::move(call));
}

template <typename T>
const T& play(const std::vector<T>& steps, std::size_t& taken) {
  const T& step = steps[taken < steps.size() ? taken : steps.size() - 1];
  ++taken;
  return step;
}

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

}  // namespace

void fake_start(const FakeScript& new_script) {
  script = new_script;
  joy_steps_taken.clear();
  num_devs_taken = 0;
  kbhit_taken = 0;
  stop_taken = 0;
  calls.clear();
  output.clear();
  sudden_end = nullptr;
  for (MotionTrack& track : tracks) track = MotionTrack{};
  for (std::atomic<Direction>& held : key_state) held = 0;
  let_go_for_good = false;
}

void set_motion_track(int player, std::uint32_t last_x, std::int32_t still_count,
                      Direction direction) {
  tracks[player] = MotionTrack{last_x, still_count, direction, true};
}

const std::vector<std::string>& fake_calls() { return calls; }

std::vector<std::string> fake_calls_of(std::initializer_list<const char*> prefixes,
                                       const std::string& after) {
  std::vector<std::string> kept;
  auto call = calls.begin();
  if (!after.empty()) {
    call = std::find(calls.begin(), calls.end(), after);
    if (call != calls.end()) ++call;
  }
  for (; call != calls.end(); ++call) {
    for (const char* prefix : prefixes) {
      if (call->rfind(prefix, 0) == 0) {
        kept.push_back(*call);
        break;
      }
    }
  }
  return kept;
}

const std::string& fake_output() { return output; }

std::vector<JoyStep> repeat(JoyStep step, int times) {
  return std::vector<JoyStep>(static_cast<std::size_t>(times), step);
}

std::vector<JoyStep> operator+(std::vector<JoyStep> a, const std::vector<JoyStep>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<int> kbhit_after(int misses) {
  std::vector<int> results(static_cast<std::size_t>(misses), 0);
  results.push_back(1);
  return results;
}

UINT joyGetNumDevs() {
  record("joyGetNumDevs");
  return play(script.num_devs, num_devs_taken);
}

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  record("joyGetPosEx " + std::to_string(id));
  if (info->dwSize != sizeof(JOYINFOEX) || info->dwFlags != JOY_RETURNALL) {
    std::fprintf(stderr, "fake platform: joyGetPosEx with an unprepared record\n");
    std::abort();
  }
  const auto steps = script.joysticks.find(id);
  if (steps == script.joysticks.end() || steps->second.empty()) return JOYERR_PARMS;
  const JoyStep& step = play(steps->second, joy_steps_taken[id]);
  if (step.result == JOYERR_NOERROR) {
    info->dwXpos = step.x;
    info->dwButtons = step.buttons;
  }
  return step.result;
}

void keybd_event(BYTE vk, BYTE scan, DWORD flags, ULONG_PTR extra_info) {
  if (extra_info != 0) {
    std::fprintf(stderr, "fake platform: keybd_event with extra information\n");
    std::abort();
  }
  record("keybd_event " + hex(vk) + " " + hex(scan) + " " + std::to_string(flags));
}

MMRESULT timeBeginPeriod(UINT period_ms) {
  record("timeBeginPeriod " + std::to_string(period_ms));
  return 0;
}

MMRESULT timeEndPeriod(UINT period_ms) {
  record("timeEndPeriod " + std::to_string(period_ms));
  return 0;
}

void Sleep(DWORD ms) { record("Sleep " + std::to_string(ms)); }

// Recorded as the pause it stands for on Windows.
void pause_between_passes(const CntrIds&, const Directions&) { Sleep(POLL_SLEEP_MS); }

int _kbhit() {
  const int hit = play(script.kbhit, kbhit_taken);
  record("_kbhit " + std::to_string(hit));
  return hit;
}

int msg_printf(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  output += text;
  record(std::string("print ") + text);
  return written;
}

void players_assigned(const CntrIds& ids) {
  record("players_assigned " + std::to_string(ids[0]) + " " + std::to_string(ids[1]));
}

void on_sudden_end(void (*let_go)()) { sudden_end = let_go; }

void (*fake_sudden_end())() { return sudden_end; }

bool stop_requested() {
  const bool stop = play(script.stop, stop_taken) != 0;
  if (stop) record("stop_requested");
  return stop;
}

bool platform_open() { return true; }

void platform_close() {}
