#!/usr/bin/env python3
"""End-to-end scenarios of keyconv.exe and keyconv_busy.exe under Wine.

  wine_scenarios.py --list                 scenario names
  wine_scenarios.py --init                 create the Wine prefix, start wineserver
  wine_scenarios.py --stop                 stop the wineserver
  wine_scenarios.py NAME                   run one scenario; exit 0 when it passes
Common options: --windows-dir (the 'windows' preset's build), --work-dir.
"""

import argparse
import os
import re
import sys

from wine_harness import Wine, WineError, windows_text

# ---- expected texts: the tests' one copy, in expected_text.h (UTF-8 here;
# the programs must write them in CP932) ----

def read_messages():
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "expected_text.h")
    entries = re.findall(r'^ *\{"(\w+)", "((?:[^"\\]|\\.)*)"\},$', open(header).read(), re.M)
    return {name: text.replace("\\n", "\n") for name, text in entries}


MESSAGE = read_messages()
SETUP_1P = MESSAGE["setup_1p"] + MESSAGE["press_1p"]
RELEASE_ALL = MESSAGE["release_all"]
SETUP_2P = MESSAGE["setup_2p"] + MESSAGE["press_2p"] + MESSAGE["skip_2p"]
NO_ARGUMENT = MESSAGE["no_argument"]
INVALID_ARGUMENT = MESSAGE["invalid_argument"]
START = MESSAGE["conversion_start"] + MESSAGE["press_key_to_end"]
ERROR = MESSAGE["read_error"]


def ok(cntr_id):
    return MESSAGE["cntr_id_ok"].replace("%d", str(cntr_id))


def argument_set(value):
    return MESSAGE["argument_set"].replace("%d", str(value))


def started(id_2p, threshold=NO_ARGUMENT):
    """A whole start: player 1 on id 0, player 2 on id_2p (-1 when skipped)."""
    return SETUP_1P + ok(0) + RELEASE_ALL + SETUP_2P + ok(id_2p) + threshold + START


def started_with_one_id(threshold=NO_ARGUMENT):
    return SETUP_1P + ok(0) + RELEASE_ALL + threshold + START


# ---- scripts for the scripted winmm.dll ----

KEY = object()  # marks the step at which the console keystroke is typed
PAUSE = object()  # marks the step at which the program waits for the harness


def at(x, times=1):
    return [f"0:{x}:0"] * times


def pressed(x):
    return [f"0:{x}:1"]


FAILED = ["167:0:0"]


def script(numdevs, joysticks, process_information=()):
    lines = ["numdevs " + " ".join(str(n) for n in numdevs)]
    if process_information:
        lines.append("process_information " + " ".join(str(r) for r in process_information))
    for cntr_id, steps in joysticks.items():
        flat = []
        for step in steps:
            if step is KEY:
                lines.append(f"key {cntr_id} {len(flat)}")
            elif step is PAUSE:
                lines.append(f"pause {cntr_id} {len(flat)}")
            else:
                flat.extend(step)
        lines.append(f"joy {cntr_id} " + " ".join(flat))
    return "\n".join(lines) + "\n"


# Reads taken by controller assignment before the loop.
def assign_1p_of_two(x):
    return [pressed(x), at(x), at(x)]


def assign_2p(x):
    return [at(x), pressed(x)]


def assign_1p_alone(x):
    return [pressed(x), at(x)]


# ---- scenarios ----

SCENARIOS = {}
BOTH = ("keyconv", "keyconv_busy")


def scenario(name, programs=("keyconv",), **options):
    """Registers fn(wine, work_dir, program, **options) as name, once for each
    program: with the program's name added to it when there are two."""
    def register(fn):
        for program in programs:
            full_name = name if len(programs) == 1 else f"{name}_{program}"
            SCENARIOS[full_name] = (
                lambda wine, work_dir, program=program: fn(wine, work_dir, program, **options))
        return fn
    return register


class Failed(Exception):
    pass


def expect_equal(what, got, want):
    if got != want:
        raise Failed(f"{what}:\n  expected {want!r}\n  actual   {got!r}")


def expect_true(what, condition):
    if not condition:
        raise Failed(what)


# SetProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, state,
# 12) with a state of Version 1, ControlMask EXECUTION_SPEED (1) |
# IGNORE_TIMER_RESOLUTION (4) and StateMask 0: never throttle either. A
# Windows that refuses it (Windows 10 knows no timer flag; Wine 8 refuses
# every call) is asked again for EXECUTION_SPEED alone; the results count
# for nothing more.
NEVER_THROTTLE = ((-1, 4, 12, 1, 0x1 | 0x4, 0), 1)
REFUSED_NEVER_THROTTLE = [(NEVER_THROTTLE[0], 0), ((-1, 4, 12, 1, 0x1, 0), 0)]


def check(run, program, want_stdout, want_keys, opt_out=REFUSED_NEVER_THROTTLE, exit_code=0):
    """Exit code 0 (or exit_code; None: any), the exact output, the exact key events, each flagged as
    injected, the opt-out of power throttling (opt_out: each call's
    arguments and result), made before the first joystick call, and the
    program's timing calls: keyconv raises the timer
    resolution, pauses with one Sleep(1) after each pass's reads, and gives
    the resolution back at the end; keyconv_busy does none of it, and
    sleeps only while it waits for a button (Sleep(3))."""
    if exit_code is not None:
        expect_equal("exit code", run.exit_code, exit_code)
    calls = [line.call for line in run.log]
    expect_equal("SetProcessInformation calls",
                 [(l.args, l.result) for l in run.log if l.call == "SetProcessInformation"],
                 opt_out)
    expect_true("SetProcessInformation before the first joystick call",
                max(i for i, call in enumerate(calls) if call == "SetProcessInformation")
                < next(i for i, call in enumerate(calls) if call.startswith("joy")))
    expect_equal("standard output (CP932, CR LF)", run.stdout, windows_text(want_stdout))
    for key in run.keys:
        expect_true(f"key event {key.short()} not flagged as injected", key.injected)
    expect_equal("key events", [key.short() for key in run.keys], want_keys)
    timer_calls = [(line.call, line.arg) for line in run.log if line.call.startswith("time")]
    expect_equal("timer calls", timer_calls,
                 [("timeBeginPeriod", 1), ("timeEndPeriod", 1)] if program == "keyconv" else [])
    if program == "keyconv":
        loop = run.log[calls.index("timeBeginPeriod") + 1:calls.index("timeEndPeriod")]
        pacing = "".join({"joyGetPosEx": "r", "Sleep": "S" if l.arg == 1 else "?"}.get(l.call, "")
                         for l in loop)
        expect_true(f"reads and Sleep(1) of the loop, each pass's reads then one Sleep(1): {pacing}",
                    re.fullmatch(r"(r+S)*", pacing) is not None)
    else:
        expect_equal("Sleep calls", {l.arg for l in run.log if l.call == "Sleep"} - {3}, set())


STARTUP_ARGUMENTS = {
    "none": ([], NO_ARGUMENT),
    "50": (["50"], argument_set(50)),
    "007": (["007"], argument_set(7)),
    "empty": ([""], argument_set(0)),
    "4294967296": (["4294967296"], argument_set(0)),
    "2147483648": (["2147483648"], argument_set(-2147483648)),
    "12a": (["12a"], INVALID_ARGUMENT),
    "minus12": (["-12"], INVALID_ARGUMENT),
    "space12": ([" 12"], INVALID_ARGUMENT),
    "fullwidth12": (["１２"], INVALID_ARGUMENT),
    "two_arguments": (["10", "20"], ""),
}


def startup(wine, work_dir, program, args, threshold_text):
    # The keystroke comes while player 2 is asked for: it is already
    # waiting when the loop would start, so the program ends at once.
    text = script([16], {0: assign_1p_of_two(500) + [at(500)],
                         1: [at(500), KEY, pressed(500), at(500)]})
    run = wine.run(program, args, text, work_dir)
    check(run, program, started(1, threshold_text), [])
    began = next(i for i, line in enumerate(run.log) if line.call == "timeBeginPeriod")
    expect_equal("calls after timeBeginPeriod", [l.call for l in run.log[began:]],
                 ["timeBeginPeriod", "timeEndPeriod"])


for _name, (_args, _text) in STARTUP_ARGUMENTS.items():
    scenario("startup_argument_" + _name, args=_args, threshold_text=_text)(startup)


@scenario("one_controller_keystroke_before_loop", BOTH)
def keystroke_before_loop(wine, work_dir, program):
    text = script([1], {0: [pressed(100), KEY, at(100), at(200)]})
    run = wine.run(program, [], text, work_dir)
    check(run, program, started_with_one_id(), [])
    expect_equal("reads of id 0 (assignment only, no polling)",
                 [l.call for l in run.log if l.call == "joyGetPosEx"], ["joyGetPosEx"] * 2)


@scenario("turn_up_hold_stop_and_back", BOTH)
def turn_up_hold_stop_and_back(wine, work_dir, program):
    p1 = assign_1p_of_two(1000) + [
        at(1000),          # priming read
        at(1010),          # turn up: Left Shift down
        at(1010, 34),      # the 34th unchanged read lets it go
        at(1000),          # turn down: Left Control down
        at(1010),          # reversal: Left Control up, Left Shift down
        KEY, at(1010)]     # keystroke: Left Shift released at shutdown
    p2 = assign_2p(9000) + [at(9000)]
    run = wine.run(program, [], script([16], {0: p1, 1: p2}), work_dir)
    check(run, program, started(1),
          ["A0 2A down", "A0 2A up", "A2 1D down", "A2 1D up", "A0 2A down", "A0 2A up"])
    down, up = run.keys[0].us, run.keys[1].us
    hold_reads = [l for l in run.log
                  if l.call == "joyGetPosEx" and l.arg == 0 and down < l.us < up]
    expect_equal("player 1 reads between key-down and key-up", len(hold_reads), 34)
    print(f"wine_{program}_hold_time: {(up - down) / 1000:.3f} ms")
    print(f"wine_{program}_hold_polls: {len(hold_reads)} polls")


@scenario("both_players_in_one_pass_and_shutdown_release")
def both_players(wine, work_dir, program):
    p1 = assign_1p_of_two(500) + [at(500), at(600), KEY, at(700)]
    p2 = assign_2p(9000) + [at(9000), at(8000), at(8000)]
    run = wine.run(program, ["5"], script([16], {0: p1, 1: p2}), work_dir)
    check(run, program, started(1, argument_set(5)),
          ["A0 2A down", "A3 1D down ext", "A0 2A up", "A3 1D up ext"])
    # Both players are read before the first key event of the pass.
    first_key = run.keys[0].us
    reads = [l.arg for l in run.log if l.call == "joyGetPosEx" and l.us < first_key]
    expect_equal("last reads before the first key event", reads[-4:], [0, 0, 1, 1])


@scenario("game_reads_all_four_keys", BOTH)
def game_reads_all_four_keys(wine, work_dir, program):
    # Each player rises and stops, then falls and stops. A key goes on the
    # 302nd still poll after the move, and as many pass before the next
    # move: under Wine the key state another process reads lags behind the
    # key messages, and a game polling it each frame still sees every key
    # down and up.
    threshold = 300
    hold = threshold + 2
    def rise_then_fall(x):
        return [at(x + 10, 2 * hold + 1), at(x, 2 * hold + 1)]
    p1 = assign_1p_of_two(1000) + [at(1000)] + rise_then_fall(1000)
    p2 = (assign_2p(9000) + [at(9000, 1 + 2 * (2 * hold + 1))] + rise_then_fall(9000)
          + [KEY, at(9000)])
    run = wine.run(program, [str(threshold)], script([16], {0: p1, 1: p2}), work_dir, game=True)
    check(run, program, started(1, argument_set(threshold)),
          ["A0 2A down", "A0 2A up", "A2 1D down", "A2 1D up",
           "A1 36 down", "A1 36 up", "A3 1D down ext", "A3 1D up ext"])
    # Key messages (wParam, scan code, extended bit) and raw input (VKey,
    # MakeCode, E0) tell left from right by the scan code and E0 alone.
    read = ["10 2A down", "10 2A up", "11 1D down", "11 1D up",
            "10 36 down", "10 36 up", "11 1D down ext", "11 1D up ext"]
    expect_equal("the game's key messages", run.game["msg"], read)
    expect_equal("the game's raw input", run.game["raw"], read)
    # DirectInput's DIK code is the scan code, with 80 for E0.
    expect_equal("the game's DirectInput keyboard", run.game["dinput"],
                 ["2A down", "2A up", "1D down", "1D up", "36 down", "36 up", "9D down", "9D up"])
    # Wine's server gives Right Shift's state only to an event flagged
    # extended, whatever its key and scan code: Right Shift sent as Windows
    # has it (36, not extended; E0 36 is no key at all) is Left Shift's
    # state there, where Windows has A1.
    expect_equal("the game's key state, frame by frame", run.game["state"],
                 ["A0", "", "A2", "", "A0", "", "A3", ""])


@scenario("player2_skipped")
def player2_skipped(wine, work_dir, program):
    # Windows 11 takes the opt-out of power throttling at once: no second call.
    p1 = [pressed(300), at(300), pressed(300)] + [at(300), at(200), at(200), KEY, at(200)]
    run = wine.run(program, [], script([16], {0: p1, 1: [at(0)]}, process_information=[1]),
                   work_dir)
    check(run, program, started(-1), ["A2 1D down", "A2 1D up"], opt_out=[NEVER_THROTTLE])
    began = next(i for i, line in enumerate(run.log) if line.call == "timeBeginPeriod")
    expect_equal("ids read while converting",
                 sorted({l.arg for l in run.log[began:] if l.call == "joyGetPosEx"}), [0])


@scenario("controller_fails_mid_run")
def controller_fails(wine, work_dir, program):
    p1 = assign_1p_alone(100) + [at(100), at(90), FAILED * 3, KEY, at(90)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir)
    # Left Control is held through the failures.
    check(run, program, started_with_one_id() + ERROR * 3, ["A2 1D down", "A2 1D up"])


@scenario("keystroke_from_another_process", BOTH)
def keystroke_from_another_process(wine, work_dir, program):
    # The program stops in the middle of a hold; another Wine process
    # attaches to its console and types a key; the program goes on and
    # ends at the end of that pass, letting go of Left Shift.
    p1 = assign_1p_alone(100) + [at(100), at(120), at(120, 5), PAUSE, at(120)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir,
                   at_pause=Wine.type_console_key)
    check(run, program, started_with_one_id(), ["A0 2A down", "A0 2A up"])
    paused = next(i for i, line in enumerate(run.log) if line.call == "paused")
    # Only the read that was paused is answered: the pass ends, _kbhit
    # sees the key, and no further pass begins.
    expect_equal("reads after the keystroke", [l.call for l in run.log[paused + 1:]
                                               if l.call == "joyGetPosEx"], ["joyGetPosEx"])


@scenario("ctrl_c_while_holding", BOTH, holding=True)
@scenario("ctrl_c_at_rest", BOTH, holding=False)
def ctrl_c(wine, work_dir, program, holding):
    # Ctrl+C in the middle of the conversion, while the program is held in
    # a read: the loop ends in order (the timer resolution given back, then
    # a held key let go) before Windows ends the program; nothing goes down
    # after the signal, and nothing is printed.
    x = 120 if holding else 100
    p1 = assign_1p_alone(100) + [at(100), at(x), at(x, 5), PAUSE, at(x)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir, at_pause=Wine.send_ctrl_c)
    check(run, program, started_with_one_id(), ["A0 2A down", "A0 2A up"] if holding else [],
          exit_code=None)
    # Windows ends a program at Ctrl+C with STATUS_CONTROL_C_EXIT; Wine's
    # own handling ends it with 0. It is only recorded.
    print(f"wine_{program}_exit_status_after_ctrl_c: {run.exit_code}")
    signalled = next(l.us for l in run.log if l.call == "paused")
    expect_true("no key went down after Ctrl+C",
                all(key.us < signalled for key in run.keys if not key.up))
    if holding:
        expect_true("Left Shift went up after Ctrl+C", run.keys[-1].us > signalled)
    if program == "keyconv":
        ended = next(l.us for l in run.log if l.call == "timeEndPeriod")
        expect_true("timeEndPeriod(1) after Ctrl+C, before the key went up",
                    signalled < ended and all(ended < key.us for key in run.keys if key.up))


@scenario("polls_at_rest", BOTH)
def polls_at_rest(wine, work_dir, program):
    polls = 1000 if program == "keyconv" else 5000  # a second or so each
    p1 = assign_1p_alone(100) + [at(100, polls), KEY, at(100)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir)
    check(run, program, started_with_one_id(), [])
    reads = [l.us for l in run.log if l.call == "joyGetPosEx"][2:]
    expect_true("the loop polled", len(reads) > 100)
    seconds = (reads[-1] - reads[0]) / 1e6
    print(f"wine_{program}_polls_per_second: {(len(reads) - 1) / seconds:.0f} polls/s")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", nargs="?")
    parser.add_argument("--windows-dir", default=os.path.join(source, "build", "windows"))
    parser.add_argument("--work-dir", default=os.path.join(source, "build", "wine-work"))
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--init", action="store_true")
    parser.add_argument("--stop", action="store_true")
    options = parser.parse_args()
    wine = Wine(os.path.join(options.work_dir, "prefix"), options.windows_dir)
    try:
        if options.list:
            print("\n".join(SCENARIOS))
        elif options.init:
            wine.init()
            print("Wine prefix ready:", wine.prefix)
        elif options.stop:
            wine.server("-k")
        else:
            SCENARIOS[options.scenario](wine, os.path.join(options.work_dir, options.scenario))
            print(f"{options.scenario}: passed")
    except (WineError, Failed, OSError) as error:
        print(f"{options.scenario or 'wine'}: FAILED: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
