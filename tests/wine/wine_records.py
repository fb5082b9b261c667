"""What a Wine run leaves: the key events the recorder saw, the scripted
DLL's log, what the game window read, and the program's own output."""

import os
from dataclasses import dataclass, field


@dataclass
class KeyEvent:
    vk: int
    scan: int
    up: bool
    extended: bool
    injected: bool
    us: int

    def short(self):
        return (f"{self.vk:02X} {self.scan:02X} {'up' if self.up else 'down'}"
                f"{' ext' if self.extended else ''}")


@dataclass
class LogLine:
    us: int
    call: str
    args: tuple
    result: int

    @property
    def arg(self):
        return self.args[0]


@dataclass
class Run:
    exit_code: int
    stdout: bytes
    stderr: bytes
    cpu_s: float = 0.0
    keys: list = field(default_factory=list)
    # What the game window read, by view ("msg", "raw", "dinput", "state";
    # game_window.cc), one text an event.
    game: dict = field(default_factory=dict)
    log: list = field(default_factory=list)


def read_lines(path, parse):
    """One record per line of a log the Wine side wrote; none if it wrote none."""
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [parse(line.split()) for line in f]


def read_keys(path):
    return read_lines(path, lambda f: KeyEvent(int(f[0], 16), int(f[1], 16), f[2] == "1",
                                                f[3] == "1", f[4] == "1", int(f[5])))


def read_game(path):
    views = {view: [] for view in ("msg", "raw", "dinput", "state")}
    for view, *text in read_lines(path, lambda f: f):
        views[view].append(" ".join(text))
    return views


def read_log(path):
    # "<us> <call> <arg>... = <result>"
    return read_lines(path, lambda f: LogLine(int(f[0]), f[1], tuple(int(a) for a in f[2:-2]),
                                               int(f[-1])))
