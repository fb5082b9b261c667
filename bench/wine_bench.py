#!/usr/bin/env python3
"""Measures keyconv.exe and keyconv_busy.exe under Wine through the scripted
winmm.dll: polls per second at rest beside a bare baseline loop, CPU time per
second of conversion, latency from a new X to its key event, and the hold
time. Prints one "name: value unit" line per figure.

Absolute rates under Wine say little about Windows (the console check alone
costs a few hundred microseconds there); the ratios to the baseline say
whether the tool adds anything to the platform's own cost.
"""

import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "wine"))

from wine_harness import Wine  # noqa: E402
from wine_expectations import KEY, assign_1p_alone, at, script  # noqa: E402

ROUNDS = 3


def loop_reads(run, skip):
    """Timestamps (us) of the reads of id 0 after the first `skip` ones."""
    return [line.us for line in run.log if line.call == "joyGetPosEx" and line.arg == 0][skip:]


def rate(reads):
    return (len(reads) - 1) / ((reads[-1] - reads[0]) / 1e6)


def at_rest(wine, work, program, polls, baseline_exe=None):
    if baseline_exe:
        text = script([1], {0: [at(100, polls), KEY, at(100)]})
        run = wine.run(None, [], text, os.path.join(work, "baseline"), exe_path=baseline_exe)
        return run, loop_reads(run, 0)
    text = script([1], {0: assign_1p_alone(100) + [at(100, polls), KEY, at(100)]})
    run = wine.run(program, [], text, os.path.join(work, program))
    return run, loop_reads(run, 2)


def polls_per_second(wine, work, windows_dir):
    for program, baseline, polls in (("keyconv", "baseline_paced", 1500),
                                     ("keyconv_busy", "baseline_busy", 6000)):
        tool_rates, base_rates = [], []
        for _ in range(ROUNDS):  # interleaved, so drifts hit both alike
            tool_rates.append(rate(at_rest(wine, work, program, polls)[1]))
            base_exe = os.path.join(windows_dir, "bench", baseline + ".exe")
            base_rates.append(rate(at_rest(wine, work, program, polls, base_exe)[1]))
        tool, base = statistics.median(tool_rates), statistics.median(base_rates)
        print(f"wine_{program}_polls_per_second: {tool:.0f} polls/s")
        print(f"wine_{baseline}_polls_per_second: {base:.0f} polls/s")
        print(f"wine_{program}_to_baseline_ratio: {tool / base:.3f} ratio")


def cpu_per_second(wine, work):
    # Two runs of different length: the difference leaves out Wine's start-up.
    short_run, short_reads = at_rest(wine, work, "keyconv", 500)
    long_run, long_reads = at_rest(wine, work, "keyconv", 2500)
    conversion_s = ((long_reads[-1] - long_reads[0]) - (short_reads[-1] - short_reads[0])) / 1e6
    cpu = (long_run.cpu_s - short_run.cpu_s) / conversion_s
    print(f"wine_keyconv_cpu_per_second: {cpu * 1000:.1f} ms/s")


def latency_and_hold(wine, work, program):
    cycles = 60
    steps, changes, x = [at(1000)], [], 1000  # the priming read first
    for cycle in range(cycles):
        x += 10
        changes.append(cycle * 40)  # index among the loop's poll reads
        steps.append(at(x))
        steps.append(at(x, 39))  # key-up on the 34th of these
    text = script([1], {0: assign_1p_alone(1000) + steps + [KEY, at(x)]})
    run = wine.run(program, [], text, os.path.join(work, program + "_moves"))
    reads = loop_reads(run, 3)  # past assignment and the priming read
    downs = [k.us for k in run.keys if not k.up][:cycles]
    ups = [k.us for k in run.keys if k.up][:cycles]
    latency_ms, latency_polls, hold_ms, hold_polls = [], [], [], []
    for change, down, up in zip(changes, downs, ups):
        read = reads[change]
        latency_ms.append((down - read) / 1000)
        latency_polls.append(sum(1 for r in reads if read < r < down))
        hold_ms.append((up - down) / 1000)
        hold_polls.append(sum(1 for r in reads if down < r < up))
    latency_ms.sort()
    p99 = latency_ms[min(len(latency_ms) - 1, int(len(latency_ms) * 0.99))]
    print(f"wine_{program}_latency_median: {statistics.median(latency_ms):.3f} ms")
    print(f"wine_{program}_latency_p99: {p99:.3f} ms")
    print(f"wine_{program}_latency_median_polls: {statistics.median(latency_polls):.0f} polls")
    print(f"wine_{program}_latency_max_polls: {max(latency_polls)} polls")
    print(f"wine_{program}_hold_time_median: {statistics.median(hold_ms):.3f} ms")
    print(f"wine_{program}_hold_polls_median: {statistics.median(hold_polls):.0f} polls")
    # The hold is so many polls: the length of a poll while a key is held,
    # which the hold follows from (the rate at rest is another's).
    periods = [ms / polls for ms, polls in zip(hold_ms, hold_polls) if polls]
    print(f"wine_{program}_poll_period_holding_median: {statistics.median(periods):.3f} ms")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows-dir", default=os.path.join(SOURCE, "build", "windows"))
    parser.add_argument("--work-dir", default=os.path.join(SOURCE, "build", "wine-bench"))
    options = parser.parse_args()
    wine = Wine(os.path.join(options.work_dir, "prefix"), options.windows_dir)
    wine.init()
    try:
        polls_per_second(wine, options.work_dir, options.windows_dir)
        cpu_per_second(wine, options.work_dir)
        for program in ("keyconv", "keyconv_busy"):
            latency_and_hold(wine, options.work_dir, program)
    finally:
        wine.server("-k")


if __name__ == "__main__":
    main()
