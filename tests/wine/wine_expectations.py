"""What the Wine scenarios expect and play: the expected texts, the scripts
of the scripted winmm.dll, and the checks every run passes."""

import os
import re

from wine_harness import windows_text

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
CTRL_BREAK = object()  # marks the step at which Ctrl+Break is pressed
CLOSE = object()  # marks the step at which the console's window is closed


class Fault:
    """Marks the step whose read faults: kind "write" (an access violation)
    or "stack" (a stack overflow)."""

    def __init__(self, kind):
        self.kind = kind


class Block:
    """Marks the step whose read holds the program for ms milliseconds."""

    def __init__(self, ms):
        self.ms = ms


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
            elif step is CTRL_BREAK:
                lines.append(f"break {cntr_id} {len(flat)}")
            elif step is CLOSE:
                lines.append(f"close {cntr_id} {len(flat)}")
            elif isinstance(step, Fault):
                lines.append(f"fault {cntr_id} {len(flat)} {step.kind}")
            elif isinstance(step, Block):
                lines.append(f"block {cntr_id} {len(flat)} {step.ms}")
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


class Failed(Exception):
    pass


# A program's status as Windows gives it: STATUS_CONTROL_C_EXIT after Ctrl+C,
# Ctrl+Break or the console's closing, an exception's code after a fault.
STATUS_CONTROL_C_EXIT = 0xC000013A
EXCEPTION_ACCESS_VIOLATION = 0xC0000005
EXCEPTION_STACK_OVERFLOW = 0xC00000FD


def expect_status(run, status, exit_process=None):
    """Wine gives the Unix process the low byte of the status. Where the
    program ends itself with ExitProcess, the scripted DLL logs the whole
    status it passes, and whether on the program's thread ("ExitProcess")
    or on another ("ExitProcess_elsewhere"): exit_process names which. None:
    the program calls no ExitProcess (its C run-time ends it after wmain, or
    Windows after a fault)."""
    expect_equal("exit status (its low byte, as Wine gives it)", run.exit_code, status & 0xFF)
    expect_equal("ExitProcess calls", [(l.call, l.arg) for l in run.log
                                       if l.call.startswith("ExitProcess")],
                 [] if exit_process is None else [(exit_process, status)])


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


def check(run, program, want_stdout, want_keys, opt_out=REFUSED_NEVER_THROTTLE, status=0,
          exit_process=None):
    """The status (expect_status), the exact output, the exact key events, each flagged as
    injected, the opt-out of power throttling (opt_out: each call's
    arguments and result), made before the first joystick call, and the
    program's timing calls: keyconv raises the timer
    resolution, pauses with one Sleep(1) after each pass's reads, and gives
    the resolution back at the end; keyconv_busy does none of it, and
    sleeps only while it waits for a button (Sleep(3)). The program's own
    thread ends it, once, last."""
    expect_status(run, status, exit_process)
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
    expect_equal("the end of the process, by the program's own thread, last",
                 [(i, l.arg) for i, l in enumerate(run.log) if l.call == "process_end"],
                 [(len(run.log) - 1, 1)])


# ---- the scenarios' register ----

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
