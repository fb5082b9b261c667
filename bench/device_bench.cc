// Real-kernel figures of the Linux programs, measured in the test VM
// (scripts/bench runs them there): each case prints "name: value unit" lines.
// Latency is from the uinput write of a new X to the kernel's timestamp of
// the key event it causes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "../tests/device_support.h"
#include "../tests/expected_text.h"

namespace {

using namespace std::chrono_literals;

double percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

void report(const char* name, double value, const char* unit) {
  std::printf("figure %s: %.3f %s\n", name, value, unit);
}

// 200 moves at random moments, each the other way: from the uinput write of
// each to the first key event it causes.
std::vector<double> latencies(VirtualDevice& pad, ProgramKeyboard& keyboard) {
  std::mt19937 random(1);
  std::uniform_int_distribution<int> pause_us(0, 2000);
  std::vector<double> found;
  for (int move = 0; move < 200; ++move) {
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
    const double written = monotonic_ms();
    pad.move_x(move % 2 == 0 ? 2000 : 1000);
    const KeyEvent first = keyboard.next();
    EXPECT_NE(first.code, 0u);
    found.push_back(first.ms - written);
    keyboard.until_quiet(1ms);  // the other key of a reversal
  }
  return found;
}

double report_latency(const std::string& name, const std::vector<double>& found) {
  report((name + "_latency_median").c_str(), percentile(found, 0.5), "ms");
  report((name + "_latency_p99").c_str(), percentile(found, 0.99), "ms");
  return percentile(found, 0.5);
}

// Both programs, and beside them the floor of an event-driven design on the
// same machine: a loop that blocks in poll() on the node and writes a key.
TEST(DeviceBench, LatencyBesideAMinimalEventLoop) {
  double keyconv_median = 0;
  for (const char* program : {KEYCONV_PROGRAM, KEYCONV_BUSY_PROGRAM}) {
    OnePlayer player;
    ASSERT_TRUE(player.start({.program = program}));
    const std::string name = program == std::string(KEYCONV_PROGRAM) ? "keyconv" : "keyconv_busy";
    const double median = report_latency(name, latencies(player.pad, player.keyboard));
    if (name == "keyconv") keyconv_median = median;
    end_with_a_keystroke(player.run, player.keyboard);
  }
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad));
  ProgramRun run;
  ASSERT_TRUE(run.start({.program = MINIMAL_EVENT_LOOP, .args = {pad.node()}}));
  ProgramKeyboard keyboard;
  ASSERT_TRUE(keyboard.open_when_there());
  const double floor = report_latency("minimal_event_loop", latencies(pad, keyboard));
  report("keyconv_latency_ratio_to_minimal_event_loop", keyconv_median / floor, "");
}

// The pass period from the keystroke checks traced for a while.
void report_pass_period(const std::string& name, pid_t pid, std::chrono::milliseconds traced) {
  SyscallTrace trace;
  ASSERT_TRUE(trace.start(pid));
  std::this_thread::sleep_for(traced);
  std::vector<double> periods;
  double last = -1;
  for (const SyscallTrace::Call& call : trace.stop()) {
    if (!call.poll) continue;
    if (last >= 0) periods.push_back(call.ms - last);
    last = call.ms;
  }
  ASSERT_GT(periods.size(), 100u);
  double sum = 0;
  for (double period : periods) sum += period;
  report((name + "_pass_period_holding_mean").c_str(), sum / static_cast<double>(periods.size()),
         "ms");
  report((name + "_pass_period_holding_p99").c_str(), percentile(periods, 0.99), "ms");
}

// At rest: how often each program is woken and what share of a processor it
// takes. Holding a key: the pass period, from the keystroke checks.
TEST(DeviceBench, AtRestAndHolding) {
  for (const char* program : {KEYCONV_PROGRAM, KEYCONV_BUSY_PROGRAM}) {
    const std::string name = program == std::string(KEYCONV_PROGRAM) ? "keyconv" : "keyconv_busy";
    OnePlayer player;
    ASSERT_TRUE(player.start({.program = program, .args = LONG_HOLD}));
    auto& [pad, run, keyboard] = player;
    const long woken_before = wakeups(run.pid);
    const long ticks_before = cpu_ticks(run.pid);
    const double started = monotonic_ms();
    std::this_thread::sleep_for(2s);
    const double seconds = (monotonic_ms() - started) / 1e3;
    report((name + "_wakeups_at_rest").c_str(),
           static_cast<double>(wakeups(run.pid) - woken_before) / seconds, "/s");
    report((name + "_cpu_share_at_rest").c_str(),
           100 * static_cast<double>(cpu_ticks(run.pid) - ticks_before) /
               static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds,
           "%");
    ASSERT_TRUE(player.turn_up());
    // keyconv_busy's passes come so fast that a short trace holds thousands.
    report_pass_period(name, run.pid, name == "keyconv" ? 1000ms : 200ms);
    end_with_a_keystroke(run, keyboard);
  }
}

// keyconv_busy's hold at the default threshold: 34 passes without pause,
// from the key-down to the key-up.
TEST(DeviceBench, BusyHoldAtTheDefaultThreshold) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.program = KEYCONV_BUSY_PROGRAM}));
  auto& [pad, run, keyboard] = player;
  std::vector<double> holds;
  for (int turn = 1; turn <= 20; ++turn) {
    pad.move_x(1000 + 100 * turn);
    const KeyEvent pressed = keyboard.next();
    const KeyEvent let_go = keyboard.next();
    ASSERT_EQ(let_go, up(KEY_LEFTSHIFT));
    holds.push_back(let_go.ms - pressed.ms);
    std::this_thread::sleep_for(20ms);
  }
  report("keyconv_busy_hold_median", percentile(holds, 0.5), "ms");
  report("keyconv_busy_hold_min", percentile(holds, 0.0), "ms");
  report("keyconv_busy_hold_max", percentile(holds, 1.0), "ms");
  end_with_a_keystroke(run, keyboard);
}

// The hold at the default threshold after a turn whose steps come 0.6 ms
// apart, late in each timed wait: from the pass that read the last step to
// the key-up, 34 passes later.
TEST(DeviceBench, HoldAfterATurn) {
  OnePlayer player;
  ASSERT_TRUE(player.start());
  auto& [pad, run, keyboard] = player;
  std::vector<double> holds;
  for (int turn = 0; turn < 10; ++turn) {
    SyscallTrace trace;
    ASSERT_TRUE(trace.start(run.pid));
    for (int step = 1; step <= 20; ++step) {
      pad.move_x(1000 + 100 * turn + step);
      std::this_thread::sleep_for(600us);
    }
    const KeyEvents events = keyboard.until_quiet(200ms);
    const std::vector<SyscallTrace::Call> calls = trace.stop();
    ASSERT_FALSE(events.empty());
    const double read_last_step = pass_began_ms(calls, events.back(), 34);
    ASSERT_GE(read_last_step, 0.0);
    holds.push_back(events.back().ms - read_last_step);
  }
  report("keyconv_hold_after_turning_median", percentile(holds, 0.5), "ms");
  report("keyconv_hold_after_turning_min", percentile(holds, 0.0), "ms");
  end_with_a_keystroke(run, keyboard);
}

void measure_replug(const char* name) {
  OnePlayer player;
  ASSERT_TRUE(player.start({.args = LONG_HOLD}));
  auto& [pad, run, keyboard] = player;
  std::vector<double> times;
  for (int replug = 0; replug < 20; ++replug) {
    pad.destroy();
    std::this_thread::sleep_for(20ms);
    const double appeared = monotonic_ms();
    // Each re-plug turns the other way: its first read changes the key.
    ASSERT_TRUE(make_controller(pad, {0, 65535, 0, 2000 - 1000 * (replug % 2)}));
    const KeyEvent first = keyboard.next();
    ASSERT_NE(first.code, 0u);
    times.push_back(first.ms - appeared);
    keyboard.until_quiet(5ms);
  }
  report((std::string(name) + "_median").c_str(), percentile(times, 0.5), "ms");
  report((std::string(name) + "_max").c_str(), percentile(times, 1.0), "ms");
  end_with_a_keystroke(run, keyboard);
}

// Without udev, the node is seen through inotify; with it, through udev's
// monitor, after udev has finished with the node.
TEST(DeviceBench, ReplugToFirstRead) { measure_replug("replug_to_first_read_inotify"); }

TEST(DeviceUdevBench, ReplugToFirstRead) { measure_replug("replug_to_first_read_udev"); }

}  // namespace
