// The polling loop of both programs with the real Linux pacing
// (clock_nanosleep, timer slack) and a stubbed controller: pass period,
// passes per second and the hold time at the default threshold (the median
// of the holds of a move every 100 passes). Prints one "name: value unit"
// line per figure.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "../src/app/polling_loop.h"
#include "stub_platform.h"

namespace {

constexpr long PASSES = 2000;
constexpr std::uint32_t MOVE_AT_PASS = 100;
constexpr std::uint32_t MOVE_EVERY = 100;  // each move's key is let go 34 passes on
constexpr int HOLDS = 19;

void measure(Pacing pacing, const char* program) {
  stub = StubState{};
  stub.x[0] = 1000;
  stub.kbhit_after = PASSES;
  stub.move_at_pass = MOVE_AT_PASS;
  stub.move_every = MOVE_EVERY;
  stub.move_by = 10;
  const CntrIds one_player = {0, NO_CNTR};
  const std::int64_t start = now_ns();
  run_polling_loop(pacing, one_player, DEFAULT_ANTI_CHATTER);
  const double seconds = static_cast<double>(now_ns() - start) / 1e9;

  // _kbhit is stamped once per pass; the stamps give the pass period.
  const long stamped = std::min<long>(stub.kbhit_calls, 4096);
  const double period_ms = static_cast<double>(stub.pass_ns[stamped - 1] - stub.pass_ns[1]) / 1e6 /
                           static_cast<double>(stamped - 2);
  double worst_ms = 0;
  for (long i = 2; i < stamped; ++i) {
    worst_ms = std::max(worst_ms, static_cast<double>(stub.pass_ns[i] - stub.pass_ns[i - 1]) / 1e6);
  }
  // Key-down on each move, key-up on the 34th unchanged read after it.
  long up_pass = 0;
  for (long i = MOVE_AT_PASS; i < stamped; ++i) {
    if (stub.pass_ns[i] > stub.key_ns[1]) {
      up_pass = i;
      break;
    }
  }
  double holds_ms[HOLDS];
  for (int hold = 0; hold < HOLDS; ++hold) {
    holds_ms[hold] =
        static_cast<double>(stub.key_ns[2 * hold + 1] - stub.key_ns[2 * hold]) / 1e6;
  }
  std::sort(holds_ms, holds_ms + HOLDS);
  std::printf("linux_%s_pass_period_mean: %.6f ms\n", program, period_ms);
  std::printf("linux_%s_pass_period_max: %.6f ms\n", program, worst_ms);
  std::printf("linux_%s_passes_per_second: %.0f passes/s\n", program,
              static_cast<double>(stub.kbhit_calls) / seconds);
  std::printf("linux_%s_hold_time_median: %.6f ms\n", program, holds_ms[HOLDS / 2]);
  std::printf("linux_%s_hold_polls: %ld polls\n", program,
              up_pass - static_cast<long>(MOVE_AT_PASS));
}

}  // namespace

int main() {
  // Each program in a process of its own: the detector and key output keep
  // their state for the whole run, as they do in the programs.
  for (const Pacing pacing : {Pacing::paced, Pacing::busy}) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      measure(pacing, pacing == Pacing::paced ? "keyconv" : "keyconv_busy");
      std::fflush(stdout);
      _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) return 1;
  }
  return 0;
}
