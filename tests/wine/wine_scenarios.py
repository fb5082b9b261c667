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
import sys

from wine_harness import Wine, WineError, windows_text

# ---- expected texts (UTF-8 here; the programs must write them in CP932) ----

SETUP_1P = "1Pの設定を行います。\n1Pのキーをどれか押してください...\n"
RELEASE_ALL = "キーをすべて放してください\n\n"
SETUP_2P = ("2Pの設定を行います。\n2Pのキーをどれか押してください...\n"
            "2Pが接続されていない場合、省略する場合は1Pのキーをどれか押してください。...\n")
NO_ARGUMENT = "引数がありません。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n"
INVALID_ARGUMENT = "引数の値が不正です。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n"
START = "キー変換を開始します。\n何かキーボードのキーを押すとプログラムが終了します。\n"
ERROR = "Error\n"


def ok(cntr_id):
    return f" OK!\n(debug)CntrID={cntr_id}\n\n"


def argument_set(value):
    return f"引数が設定されました。チャタリング防止タイマーを「{value}」で実行します。\n"


TWO_PLAYERS = SETUP_1P + ok(0) + RELEASE_ALL + SETUP_2P + ok(1)
ONE_PLAYER = SETUP_1P + ok(0) + RELEASE_ALL

# ---- scripts for the scripted winmm.dll ----

KEY = object()  # marks the step at which the console keystroke is typed
PAUSE = object()  # marks the step at which the program waits for the harness


def at(x, times=1):
    return [f"0:{x}:0"] * times


def pressed(x):
    return [f"0:{x}:1"]


FAILED = ["167:0:0"]


def script(numdevs, joysticks):
    lines = ["numdevs " + " ".join(str(n) for n in numdevs)]
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


def scenario(name):
    def register(fn):
        SCENARIOS[name] = fn
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


def key_list(run):
    for key in run.keys:
        expect_true(f"key event {key.short()} not flagged as injected", key.injected)
    return [k.short() for k in run.keys]


def loop_log(run):
    """The scripted calls from the first read of the conversion on (after the
    timer call for keyconv; after assignment's last read for keyconv_busy)."""
    return run.log


def check_common(run, want_stdout):
    expect_equal("exit code", run.exit_code, 0)
    expect_equal("standard output (CP932, CR LF)", run.stdout, windows_text(want_stdout))


def timer_calls(run):
    return [(line.call, line.arg) for line in run.log if line.call.startswith("time")]


def check_pacing(run, program):
    if program == "keyconv":
        expect_equal("timer calls", timer_calls(run),
                     [("timeBeginPeriod", 1), ("timeEndPeriod", 1)])
    else:
        expect_equal("timer calls", timer_calls(run), [])


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


def startup_scenario(args, threshold_text):
    def run_it(wine, work_dir):
        # The keystroke comes while player 2 is asked for: it is already
        # waiting when the loop would start, so the program ends at once.
        text = script([16], {0: assign_1p_of_two(500) + [at(500)],
                             1: [at(500), KEY, pressed(500), at(500)]})
        run = wine.run("keyconv", args, text, work_dir)
        check_common(run, TWO_PLAYERS + threshold_text + START)
        expect_equal("key events", key_list(run), [])
        check_pacing(run, "keyconv")
        began = next(i for i, line in enumerate(run.log) if line.call == "timeBeginPeriod")
        expect_equal("calls after timeBeginPeriod", [l.call for l in run.log[began:]],
                     ["timeBeginPeriod", "timeEndPeriod"])
    return run_it


for _name, (_args, _text) in STARTUP_ARGUMENTS.items():
    SCENARIOS["startup_argument_" + _name] = startup_scenario(_args, _text)


def keystroke_before_loop(program):
    def run_it(wine, work_dir):
        text = script([1], {0: [pressed(100), KEY, at(100), at(200)]})
        run = wine.run(program, [], text, work_dir)
        check_common(run, ONE_PLAYER + NO_ARGUMENT + START)
        expect_equal("key events", key_list(run), [])
        check_pacing(run, program)
        expect_equal("reads of id 0 (assignment only, no polling)",
                     [l.call for l in run.log if l.call == "joyGetPosEx"], ["joyGetPosEx"] * 2)
    return run_it


SCENARIOS["one_controller_keystroke_before_loop_keyconv"] = keystroke_before_loop("keyconv")
SCENARIOS["one_controller_keystroke_before_loop_keyconv_busy"] = keystroke_before_loop(
    "keyconv_busy")


def turn_up_hold_stop_and_back(program):
    def run_it(wine, work_dir):
        p1 = assign_1p_of_two(1000) + [
            at(1000),          # priming read
            at(1010),          # turn up: Left Shift down
            at(1010, 34),      # the 34th unchanged read lets it go
            at(1000),          # turn down: Left Control down
            at(1010),          # reversal: Left Control up, Left Shift down
            KEY, at(1010)]     # keystroke: Left Shift released at shutdown
        p2 = assign_2p(9000) + [at(9000)]
        run = wine.run(program, [], script([16], {0: p1, 1: p2}), work_dir)
        check_common(run, TWO_PLAYERS + NO_ARGUMENT + START)
        expect_equal("key events", key_list(run),
                     ["A0 down", "A0 up", "A2 down", "A2 up", "A0 down", "A0 up"])
        check_pacing(run, program)
        down, up = run.keys[0].us, run.keys[1].us
        hold_reads = [l for l in run.log
                      if l.call == "joyGetPosEx" and l.arg == 0 and down < l.us < up]
        expect_equal("player 1 reads between key-down and key-up", len(hold_reads), 34)
        print(f"wine_{program}_hold_time: {(up - down) / 1000:.3f} ms")
        print(f"wine_{program}_hold_polls: {len(hold_reads)} polls")
    return run_it


SCENARIOS["turn_up_hold_stop_and_back_keyconv"] = turn_up_hold_stop_and_back("keyconv")
SCENARIOS["turn_up_hold_stop_and_back_keyconv_busy"] = turn_up_hold_stop_and_back("keyconv_busy")


@scenario("both_players_in_one_pass_and_shutdown_release")
def both_players(wine, work_dir):
    p1 = assign_1p_of_two(500) + [at(500), at(600), KEY, at(700)]
    p2 = assign_2p(9000) + [at(9000), at(8000), at(8000)]
    run = wine.run("keyconv", ["5"], script([16], {0: p1, 1: p2}), work_dir)
    check_common(run, TWO_PLAYERS + argument_set(5) + START)
    expect_equal("key events", key_list(run),
                 ["A0 down", "A3 down ext", "A0 up", "A3 up ext"])
    # Both players are read before the first key event of the pass.
    first_key = run.keys[0].us
    reads = [l.arg for l in run.log if l.call == "joyGetPosEx" and l.us < first_key]
    expect_equal("last reads before the first key event", reads[-4:], [0, 0, 1, 1])


@scenario("player2_skipped")
def player2_skipped(wine, work_dir):
    p1 = [pressed(300), at(300), pressed(300)] + [at(300), at(200), at(200), KEY, at(200)]
    run = wine.run("keyconv", [], script([16], {0: p1, 1: [at(0)]}), work_dir)
    check_common(run, SETUP_1P + ok(0) + RELEASE_ALL + SETUP_2P + ok(-1) + NO_ARGUMENT + START)
    expect_equal("key events", key_list(run), ["A2 down", "A2 up"])
    began = next(i for i, line in enumerate(run.log) if line.call == "timeBeginPeriod")
    expect_equal("ids read while converting",
                 sorted({l.arg for l in run.log[began:] if l.call == "joyGetPosEx"}), [0])


@scenario("controller_fails_mid_run")
def controller_fails(wine, work_dir):
    p1 = assign_1p_alone(100) + [at(100), at(90), FAILED * 3, KEY, at(90)]
    run = wine.run("keyconv", [], script([1], {0: p1}), work_dir)
    check_common(run, ONE_PLAYER + NO_ARGUMENT + START + ERROR * 3)
    expect_equal("key events (Left Control held through the failures)", key_list(run),
                 ["A2 down", "A2 up"])


def keystroke_from_another_process(program):
    def run_it(wine, work_dir):
        # The program stops in the middle of a hold; another Wine process
        # attaches to its console and types a key; the program goes on and
        # ends at the end of that pass, letting go of Left Shift.
        p1 = assign_1p_alone(100) + [at(100), at(120), at(120, 5), PAUSE, at(120)]
        run = wine.run(program, [], script([1], {0: p1}), work_dir,
                       at_pause=Wine.type_console_key)
        check_common(run, ONE_PLAYER + NO_ARGUMENT + START)
        expect_equal("key events", key_list(run), ["A0 down", "A0 up"])
        check_pacing(run, program)
        paused = next(i for i, line in enumerate(run.log) if line.call == "paused")
        # Only the read that was paused is answered: the pass ends, _kbhit
        # sees the key, and no further pass begins.
        expect_equal("reads after the keystroke", [l.call for l in run.log[paused + 1:]
                                                   if l.call == "joyGetPosEx"], ["joyGetPosEx"])
    return run_it


SCENARIOS["keystroke_from_another_process_keyconv"] = keystroke_from_another_process("keyconv")
SCENARIOS["keystroke_from_another_process_keyconv_busy"] = keystroke_from_another_process(
    "keyconv_busy")


def polls_at_rest(program, polls):
    def run_it(wine, work_dir):
        p1 = assign_1p_alone(100) + [at(100, polls), KEY, at(100)]
        run = wine.run(program, [], script([1], {0: p1}), work_dir)
        check_common(run, ONE_PLAYER + NO_ARGUMENT + START)
        reads = [l.us for l in run.log if l.call == "joyGetPosEx"][2:]
        expect_true("the loop polled", len(reads) > 100)
        seconds = (reads[-1] - reads[0]) / 1e6
        print(f"wine_{program}_polls_per_second: {(len(reads) - 1) / seconds:.0f} polls/s")
    return run_it


SCENARIOS["polls_at_rest_keyconv"] = polls_at_rest("keyconv", 1000)
SCENARIOS["polls_at_rest_keyconv_busy"] = polls_at_rest("keyconv_busy", 5000)


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
            wine.stop_server()
        else:
            SCENARIOS[options.scenario](wine, os.path.join(options.work_dir, options.scenario))
            print(f"{options.scenario}: passed")
    except (WineError, Failed, OSError) as error:
        print(f"{options.scenario or 'wine'}: FAILED: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
