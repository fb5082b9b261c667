"""The Debian package's maintainer scripts and the RPM's scriptlets, run as
the package managers run them, against stand-ins for udevadm, modprobe,
ischroot and systemd-detect-virt that log their calls: on a running system
they apply the rule (where udev runs) and load the module, and say what
failed; in a chroot or a container, as while an image is built, they touch
nothing."""

import os
import subprocess
import tempfile

# Each stand-in logs its arguments and exits with the status its variable
# gives (0 by default; ischroot and systemd-detect-virt: 1, neither a chroot
# nor a container).
STAND_INS = {
    "udevadm": 'if [ "$1 $2" = "control --ping" ]; then exit "${UDEV_PING:-0}"; fi\n'
               'echo "udevadm $*" >>"$CALLS"; exit "${UDEVADM:-0}"',
    "modprobe": 'echo "modprobe $*" >>"$CALLS"; exit "${MODPROBE:-0}"',
    "ischroot": 'exit "${ISCHROOT:-1}"',
    "systemd-detect-virt": 'case "$*" in *--chroot*) exit "${IN_CHROOT:-1}";; '
                           '*--container*) exit "${IN_CONTAINER:-1}";; esac; exit 1',
}

RELOAD = "udevadm control --reload-rules"
LOAD = "modprobe uinput"
TRIGGER = "udevadm trigger --action=change --name-match=uinput"

# What happens where: the calls that apply and that drop the rule, and what
# the scripts then say on standard error (a word of it; "" for nothing).
APPLIED = [RELOAD, LOAD, TRIGGER]
DROPPED = [RELOAD, TRIGGER]
CASES = (
    ("a running system", {}, (APPLIED, ""), (DROPPED, "")),
    ("a chroot, as ischroot tells", {"ISCHROOT": "0"}, ([], ""), ([], "")),
    ("a chroot, as systemd tells", {"ISCHROOT": "2", "IN_CHROOT": "0"}, ([], ""), ([], "")),
    ("a container, as while an image is built", {"IN_CONTAINER": "0"}, ([], ""), ([], "")),
    ("a running system without udev's daemon", {"UDEV_PING": "1"}, ([LOAD], ""), ([], "")),
    ("modprobe fails", {"MODPROBE": "1"}, (APPLIED, "uinput module could not be loaded"),
     (DROPPED, "")),
    ("udevadm fails", {"UDEVADM": "1"}, (APPLIED, "udev could not"), (DROPPED, "udev could not")),
)


def run_script(text, argument, environment):
    """Runs a script as /bin/sh with one argument; its status, the calls of
    the stand-ins and its standard error."""
    with tempfile.TemporaryDirectory() as sandbox:
        for name, body in STAND_INS.items():
            path = os.path.join(sandbox, name)
            with open(path, "w") as stand_in:
                stand_in.write("#!/bin/sh\n" + body + "\n")
            os.chmod(path, 0o755)
        calls = os.path.join(sandbox, "calls")
        open(calls, "w").close()
        env = dict(environment, PATH=sandbox + ":/usr/bin:/bin", CALLS=calls)
        done = subprocess.run(["/bin/sh", "-c", text, "script", argument], env=env,
                              capture_output=True, text=True)
        return done.returncode, open(calls).read().splitlines(), done.stderr


def check_scripts(check, kind, apply, drop, upgrade):
    """apply, drop and upgrade: (script text, argument) of the install, the
    removal and a removal that is an upgrade (None where an upgrade runs no
    removal's script, as pacman's)."""
    for what, environment, applying, dropping in CASES:
        steps = [("install", apply, applying), ("removal", drop, dropping)]
        if upgrade is not None:
            steps.append(("upgrade", upgrade, ([], "")))
        for step, (text, argument), (calls, said) in steps:
            status, made, stderr = run_script(text, argument, environment)
            where = f"{kind} {step} on {what}"
            check(status == 0, f"{where}: ended with {status}: {stderr}")
            check(made == calls, f"{where}: called {made}, not {calls}")
            if said:
                check(said in stderr, f"{where}: said {stderr!r}, nothing of {said!r}")
            else:
                check(stderr == "", f"{where}: said {stderr!r}")
