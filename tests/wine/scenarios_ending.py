"""Wine scenarios: how the conversion ends, by a keystroke from another
process or by Ctrl+C."""

from wine_expectations import (BOTH, ERROR, FAILED, INVALID_ARGUMENT, KEY, NEVER_THROTTLE,
                               NO_ARGUMENT, PAUSE, argument_set, assign_1p_alone,
                               assign_1p_of_two, assign_2p, at, check, expect_equal, expect_true,
                               pressed, scenario, script, started, started_with_one_id)
from wine_harness import Wine


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
