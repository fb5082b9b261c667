// The cost of one pass of the converter core for two players, with the
// platform calls stubbed out: at rest, and with X changing on every pass so
// that each pass sends key events.
#include <benchmark/benchmark.h>

#include "../src/core/key_output.h"
#include "../src/core/motion_detector.h"
#include "stub_platform.h"

namespace {

const CntrIds TWO_PLAYERS = {0, 1};

void pass(std::int32_t anti_chatter) {
  const Direction d1 = read_direction(0, TWO_PLAYERS, anti_chatter);
  const Direction d2 = read_direction(1, TWO_PLAYERS, anti_chatter);
  update_keys(0, d1);
  update_keys(1, d2);
}

void BM_PassAtRest(benchmark::State& state) {
  stub.x[0] = 1000;
  stub.x[1] = 2000;
  for (auto _ : state) pass(DEFAULT_ANTI_CHATTER);
}
BENCHMARK(BM_PassAtRest);

void BM_PassWithKeyEvents(benchmark::State& state) {
  // Reversing both players on every pass: two key events per player a pass.
  std::uint32_t step = 0;
  for (auto _ : state) {
    step ^= 1;
    stub.x[0] = 1000 + step * 10;
    stub.x[1] = 2000 - step * 10;
    pass(DEFAULT_ANTI_CHATTER);
  }
  state.counters["key_events"] =
      benchmark::Counter(static_cast<double>(stub.key_events), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PassWithKeyEvents);

}  // namespace

BENCHMARK_MAIN();
