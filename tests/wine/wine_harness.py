"""Runs the real Windows programs under Wine against a scripted winmm.dll.

One Wine prefix serves the whole test run. A key recorder (a second Wine
process with a low-level keyboard hook) sees every key event the program
injects; where asked, a game window (a third, with the foreground and the
focus) records what a game reads of them; the scripted winmm.dll plays the
controllers and types the console keystroke at a chosen step. Standard
input is a pseudo-terminal, so Wine gives the program a console for _kbhit.
"""

import contextlib
import fcntl
import os
import pty
import resource
import shutil
import signal
import subprocess
import time

from wine_records import Run, read_game, read_keys, read_log

TIMEOUT_S = 60


class WineError(Exception):
    pass


class Wine:
    def __init__(self, prefix, windows_dir):
        self.prefix = os.path.abspath(prefix)
        self.windows_dir = os.path.abspath(windows_dir)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEARCH="win64", LC_ALL="C.UTF-8", DISPLAY="")
        self.env.pop("WINEDLLOVERRIDES", None)

    def tool(self, name):
        path = shutil.which(name) or (f"/usr/lib/wine/{name}" if os.path.exists(
            f"/usr/lib/wine/{name}") else None)
        if path is None:
            raise WineError(f"'{name}' not found: install the Debian package wine64")
        return path

    def init(self):
        """Creates the prefix once and starts a persistent wineserver."""
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        with self.lock():
            if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                # No .NET or HTML engine: nothing here needs them, and their
                # installers would ask on a desktop that nobody sees.
                env = dict(self.env, WINEDLLOVERRIDES="mscoree,mshtml=")
                done = subprocess.run([self.tool("wineboot"), "-i"], env=env,
                                      stdin=subprocess.DEVNULL, capture_output=True,
                                      timeout=300)
                if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                    raise WineError("wineboot could not create the prefix "
                                    f"(exit {done.returncode}): "
                                    + done.stderr.decode(errors="replace")[-2000:])
            # Without an X server no driver could make the game window; the
            # null driver makes it, gives it the focus and delivers keys.
            self.reg_add(r"HKCU\Software\Wine\Drivers", "Graphics", "null")
            # A fault that nothing handles ends the program as Windows ends
            # it where no debugger is registered, with the exception's code
            # as its status (Wine cuts it to the low byte). Wine would start
            # its own debugger instead, which waits for a desktop that
            # nobody sees, or ends the program with 0.
            self.reg_add(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                         "Debugger", "no-debugger-here")
            # The desktop took its driver when it started: it starts anew.
            self.server("-k")
            self.server("-p", "30")  # persistent: it outlives each run

    def reg_add(self, key, name, value):
        # Output closed: the services Wine starts would hold a pipe open.
        done = subprocess.run([self.tool("wine"), "reg", "add", key, "/v", name, "/d", value,
                               "/f"], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        if done.returncode != 0:
            raise WineError(f"reg add {key} {name}: exit {done.returncode}")

    def server(self, *flags):
        """Runs wineserver: -p 30 starts a persistent one, -k stops it."""
        # Its output closed: a persistent wineserver would otherwise keep the
        # caller's pipes open and a pipeline would never end.
        subprocess.run([self.tool("wineserver"), *flags], env=self.env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    @contextlib.contextmanager
    def lock(self):
        """All Wine processes of a prefix share one desktop: one scenario at a time."""
        with open(self.prefix + ".lock", "a") as file:
            fcntl.flock(file, fcntl.LOCK_EX)
            yield

    def run(self, program, args, script, work_dir, exe_path=None, at_pause=None, game=False):
        """Runs program.exe with the scripted winmm.dll; returns a Run.

        When the script pauses (directive "pause"), at_pause(wine, work_dir) is
        called while the program waits, and the program then goes on. With
        game, the game window has the focus all along and records what it
        reads."""
        work_dir = os.path.abspath(work_dir)
        shutil.rmtree(work_dir, ignore_errors=True)  # nothing of an earlier run
        os.makedirs(work_dir)
        exe = exe_path or os.path.join(self.windows_dir, program + ".exe")
        if not os.path.exists(exe):
            raise WineError(f"{exe} is missing: build the 'windows' preset first")
        shutil.copy(exe, os.path.join(work_dir, os.path.basename(exe)))
        shutil.copy(os.path.join(self.windows_dir, "tests", "wine", "winmm.dll"), work_dir)
        with open(os.path.join(work_dir, "script.txt"), "w") as f:
            f.write(script)

        # Each watcher writes what it sees to <name>.txt, says "<name>.ready"
        # once it watches, and ends when "stop" appears.
        watchers = ["key_recorder"] + (["game_window"] if game else [])
        with self.lock():
            self.server("-p", "30")  # persistent: it outlives each run
            started = []
            try:
                for name in watchers:
                    started.append(subprocess.Popen(
                        [self.tool("wine"), os.path.join(self.windows_dir, "tests", "wine",
                                                         name + ".exe"),
                         name + ".txt", name + ".ready", "stop"],
                        cwd=work_dir, env=self.env, stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
                    self._wait_for(os.path.join(work_dir, name + ".ready"), started[-1], name)
                run = self._run_program(os.path.basename(exe), args, work_dir, at_pause)
            finally:
                open(os.path.join(work_dir, "stop"), "w").close()
                for watcher in started:
                    try:
                        watcher.wait(timeout=TIMEOUT_S)
                    except subprocess.TimeoutExpired:
                        watcher.kill()
        run.keys = read_keys(os.path.join(work_dir, "key_recorder.txt"))
        run.game = read_game(os.path.join(work_dir, "game_window.txt"))
        run.log = read_log(os.path.join(work_dir, "log.txt"))
        return run

    def _wait_for(self, path, process, what):
        deadline = time.monotonic() + TIMEOUT_S
        while not os.path.exists(path):
            if process.poll() is not None:
                raise WineError(f"{what} ended with exit code {process.returncode}")
            if time.monotonic() > deadline:
                raise WineError(f"{what} did not start within {TIMEOUT_S} s")
            time.sleep(0.01)

    def _run_program(self, exe_name, args, work_dir, at_pause):
        env = dict(self.env, WINEDLLOVERRIDES="winmm=n", KEYCONV_SYNC_DIR=work_dir,
                   KEYCONV_SCRIPT=os.path.join(work_dir, "script.txt"),
                   KEYCONV_LOG=os.path.join(work_dir, "log.txt"))
        master, slave = pty.openpty()
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        try:
            # Output to a pipe: the C run-time holds it in its buffer until the
            # program ends in order (or the buffer fills).
            process = subprocess.Popen([self.tool("wine"), exe_name, *args], cwd=work_dir,
                                       env=env, stdin=slave, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
            self.process = process
            try:
                if at_pause is not None:
                    self._wait_for(os.path.join(work_dir, "reached"), process,
                                   exe_name + " (until its scripted pause)")
                    at_pause(self, work_dir)
                    open(os.path.join(work_dir, "go"), "w").close()
                stdout, stderr = process.communicate(timeout=TIMEOUT_S)
            except subprocess.TimeoutExpired:
                process.kill()
                _, stderr = process.communicate()
                raise WineError(f"{exe_name} did not end within {TIMEOUT_S} s: "
                                + stderr.decode(errors="replace")[-2000:])
        finally:
            os.close(master)
            os.close(slave)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu_s = (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
        with open(os.path.join(work_dir, "stdout.bin"), "wb") as f:
            f.write(stdout)
        return Run(process.returncode, stdout, stderr, cpu_s)


    def send_ctrl_c(self, work_dir):
        """Ctrl+C: SIGINT to the Unix process that runs the program, which
        Wine hands to the program's console handler as CTRL_C_EVENT."""
        os.kill(self.process.pid, signal.SIGINT)

    def type_console_key(self, work_dir):
        """Types a key into the program's console from another process."""
        with open(os.path.join(work_dir, "pid")) as f:
            pid = f.read().strip()
        done = subprocess.run([self.tool("wine"), os.path.join(self.windows_dir, "tests", "wine",
                                                               "console_key.exe"), pid],
                              env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TIMEOUT_S)
        if done.returncode != 0:
            raise WineError(f"console_key.exe {pid} failed with exit code {done.returncode}")


def windows_text(utf8_text):
    """What the Windows programs must write: code page 932, CR LF line ends."""
    return utf8_text.replace("\n", "\r\n").encode("cp932")
