"""Wine scenarios: how the conversion ends, by a keystroke from another
process, by Ctrl+C, Ctrl+Break or the console's closing, before the
conversion or while its loop is held up, or by a fault; every end with its
status, and no key left held."""

from wine_expectations import (BOTH, CLOSE, CTRL_BREAK, EXCEPTION_ACCESS_VIOLATION,
                               EXCEPTION_STACK_OVERFLOW, PAUSE, SETUP_1P, STATUS_CONTROL_C_EXIT,
                               Block, Fault, assign_1p_alone, at, check, expect_equal,
                               expect_status, expect_true, scenario, script, started_with_one_id)
from wine_harness import Wine, windows_text

# The handler waits this long for the loop's orderly end (platform_win32.cc).
ORDERLY_END_WAIT_MS = 2000


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


def process_end(run):
    """When the process ended, and whether the program's own thread ended it."""
    end = [line for line in run.log if line.call == "process_end"]
    expect_equal("process ends logged", len(end), 1)
    return end[0].us, end[0].arg == 1


# The step at which each event comes: Ctrl+C at a pause of the script, for
# the harness to send; the others raised by the scripted DLL.
EVENT_STEP = {"ctrl_c": PAUSE, "ctrl_break": CTRL_BREAK, "close": CLOSE}


@scenario("ctrl_c_while_holding", BOTH, event="ctrl_c", holding=True)
@scenario("ctrl_c_at_rest", BOTH, event="ctrl_c", holding=False)
@scenario("ctrl_break_while_holding", BOTH, event="ctrl_break", holding=True)
@scenario("console_closed_while_holding", BOTH, event="close", holding=True)
def console_event(wine, work_dir, program, event, holding):
    # Ctrl+C (SIGINT to the Unix process, which Wine hands to the program as
    # CTRL_C_EVENT), Ctrl+Break or the console's window closed
    # (CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT: Wine cannot raise them, so the
    # scripted DLL hands them to the program's handler on a thread of its
    # own, as Windows does) in the middle of the conversion, while the
    # program is in a read: the loop ends in order (the timer resolution
    # given back, then a held key let go), and the program's own thread, not
    # Windows' handling, then ends it with STATUS_CONTROL_C_EXIT; nothing
    # goes down after the event, and nothing is printed.
    x = 120 if holding else 100
    p1 = assign_1p_alone(100) + [at(100), at(x), at(x, 5), EVENT_STEP[event], at(x)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir,
                   at_pause=Wine.send_ctrl_c if event == "ctrl_c" else None)
    check(run, program, started_with_one_id(), ["A0 2A down", "A0 2A up"] if holding else [],
          status=STATUS_CONTROL_C_EXIT, exit_process="ExitProcess")
    signalled = next(l.us for l in run.log if l.call in ("paused", "console_event"))
    expect_true("no key went down after the event",
                all(key.us < signalled for key in run.keys if not key.up))
    if holding:
        expect_true("Left Shift went up after the event", run.keys[-1].us > signalled)
    if program == "keyconv":
        ended = next(l.us for l in run.log if l.call == "timeEndPeriod")
        expect_true("timeEndPeriod(1) after the event, before the key went up",
                    signalled < ended and all(ended < key.us for key in run.keys if key.up))
    ended_at, by_the_program = process_end(run)
    expect_true("the program's own thread ended it, after its orderly end", by_the_program)
    expect_true("it ended within the handler's wait",
                ended_at - signalled < ORDERLY_END_WAIT_MS * 1000)


@scenario("ctrl_c_during_assignment", BOTH)
def ctrl_c_during_assignment(wine, work_dir, program):
    # Ctrl+C while player 1 is asked for: nothing is held yet, and Windows
    # ends the program at once, as it ends any program. The prompt shows
    # as far as the C run-time had written it out.
    p1 = [PAUSE, at(100)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir, at_pause=Wine.send_ctrl_c)
    expect_status(run, STATUS_CONTROL_C_EXIT, "ExitProcess_elsewhere")
    expect_true(f"the output {run.stdout!r} is the 1P prompt as far as it went",
                windows_text(SETUP_1P).startswith(run.stdout))
    expect_equal("key events", [key.short() for key in run.keys], [])
    expect_equal("timer calls", [l.call for l in run.log if l.call.startswith("time")], [])
    # Windows may end it before the read that waited sees the harness's go.
    signalled = next(l.us for l in run.log if l.call == "pause_reached")
    ended_at, by_the_program = process_end(run)
    expect_true("the handler's thread ended it", not by_the_program)
    expect_true(f"at once, not after the handler's wait: {(ended_at - signalled) / 1000:.0f} ms",
                ended_at - signalled < ORDERLY_END_WAIT_MS * 1000 / 2)


@scenario("ctrl_c_with_the_loop_held_up", BOTH)
def ctrl_c_with_the_loop_held_up(wine, work_dir, program):
    # Ctrl+C while player 1 holds Left Shift, and the next read does not
    # come back for far longer than the handler waits: at the end of its
    # wait the handler lets go of the key itself and ends the program, as
    # Windows would. The loop's thread never comes back to its orderly end.
    held_up_ms = 3 * ORDERLY_END_WAIT_MS
    p1 = assign_1p_alone(100) + [at(100), at(120), at(120, 5), PAUSE, Block(held_up_ms), at(120)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir, at_pause=Wine.send_ctrl_c)
    expect_status(run, STATUS_CONTROL_C_EXIT, "ExitProcess_elsewhere")
    expect_equal("key events", [key.short() for key in run.keys], ["A0 2A down", "A0 2A up"])
    timer_calls = [l.call for l in run.log if l.call.startswith("time")]
    expect_equal("timer calls", timer_calls, ["timeBeginPeriod"] if program == "keyconv" else [])
    signalled = next(l.us for l in run.log if l.call == "paused")
    let_go_ms = (run.keys[-1].us - signalled) / 1000
    expect_true(f"the key went up at the end of the handler's wait: {let_go_ms:.0f} ms",
                ORDERLY_END_WAIT_MS * 0.9 <= let_go_ms < held_up_ms * 0.9)
    ended_at, by_the_program = process_end(run)
    waited_ms = (ended_at - signalled) / 1000
    expect_true("the handler's thread ended it", not by_the_program)
    expect_true(f"after the handler's wait and before the read came back: {waited_ms:.0f} ms",
                ORDERLY_END_WAIT_MS * 0.9 <= waited_ms < held_up_ms * 0.9)


@scenario("fault_while_holding", BOTH, kind="write", status=EXCEPTION_ACCESS_VIOLATION)
@scenario("stack_overflow_while_holding", BOTH, kind="stack", status=EXCEPTION_STACK_OVERFLOW)
def fault_while_holding(wine, work_dir, program, kind, status):
    # A fault in a read (on the program's thread, in the scripted DLL: an
    # access violation, or a stack overflow) while player 1 holds Left
    # Shift: the key goes up before the program ends, and a game sees it go
    # up; Windows then ends the program as it would, with the exception's
    # code as its status.
    p1 = assign_1p_alone(100) + [at(100), at(120), at(120, 5), Fault(kind), at(120)]
    run = wine.run(program, [], script([1], {0: p1}), work_dir, game=True)
    expect_status(run, status)
    expect_equal("key events", [key.short() for key in run.keys], ["A0 2A down", "A0 2A up"])
    expect_equal("the game's key messages", run.game["msg"], ["10 2A down", "10 2A up"])
    faulted = next(l.us for l in run.log if l.call == "fault_" + kind)
    expect_true("Left Shift went up after the fault", run.keys[-1].us > faulted)
    expect_equal("process ends logged", [l for l in run.log if l.call == "process_end"], [])
