"""Wine scenarios: start-up, conversion, the keys a game reads, pacing."""

from wine_expectations import (BOTH, ERROR, FAILED, INVALID_ARGUMENT, KEY, NEVER_THROTTLE,
                               NO_ARGUMENT, PAUSE, argument_set, assign_1p_alone,
                               assign_1p_of_two, assign_2p, at, check, expect_equal, expect_true,
                               pressed, scenario, script, started, started_with_one_id)


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
                 ["timeBeginPeriod", "timeEndPeriod", "process_end"])


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
