#!/usr/bin/env python3
"""Checks what the Windows programs carry, without running them: the DLLs
they import (system DLLs only: the run-times are linked in), the platform
functions they use and none that Windows 7 lacks, the manifest (asInvoker,
no uiAccess) and the version resource.

  check_windows_binaries.py WINDOWS_BUILD_DIR VERSION

Where the Windows build was never configured (a packager's plain Linux
build, say), it skips, saying so.
"""

import os
import re
import subprocess
import sys

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "winmm.dll", "msvcrt.dll"}
REQUIRED_IMPORTS = {
    "winmm.dll": {"joyGetNumDevs", "joyGetPosEx"},
    "user32.dll": {"keybd_event"},
    "msvcrt.dll": {"_kbhit"},
}
# Looked up at run time instead: an import that Windows 7 lacks would keep
# the programs from starting there.
FORBIDDEN_IMPORTS = {"kernel32.dll": {"SetProcessInformation"}}


def imports(exe):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], check=True,
                          capture_output=True, text=True).stdout
    table, dll = {}, None
    for line in dump.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            dll = match.group(1).lower()
            table[dll] = set()
            continue
        match = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if dll and match:
            table[dll].add(match.group(1))
    return table


def resources(exe):
    # windres fails on a program without resources: that is just "none".
    return subprocess.run(["x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"],
                          capture_output=True, text=True).stdout


def check(exe, version):
    problems = []
    table = imports(exe)
    extra = set(table) - ALLOWED_DLLS
    if extra:
        problems.append(f"imports DLLs beyond the system's own: {sorted(extra)}")
    for dll, functions in REQUIRED_IMPORTS.items():
        missing = functions - table.get(dll, set())
        if missing:
            problems.append(f"does not import {sorted(missing)} from {dll}")
    for dll, functions in FORBIDDEN_IMPORTS.items():
        present = functions & table.get(dll, set())
        if present:
            problems.append(f"imports {sorted(present)} from {dll}, which Windows 7 lacks")
    rc = resources(exe)
    manifest = re.search(r"^1 24 .*?^END", rc, re.S | re.M)
    if not manifest:
        problems.append("no manifest resource (type 24, id 1)")
    elif not re.search(r'level=""asInvoker"" uiAccess=""false""', manifest.group(0)):
        problems.append("manifest does not ask for asInvoker without uiAccess")
    if f'VALUE "ProductVersion", "{version}"' not in rc or 'VALUE "ProductName", "keyconv"' not in rc:
        problems.append(f"version resource lacks product name keyconv or version {version}")
    return problems


SKIP = 77  # CTest's SKIP_RETURN_CODE of the test


def main():
    build_dir, version = sys.argv[1], sys.argv[2]
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        print(f"no Windows build in {build_dir}: the 'windows' preset was not configured here "
              "(scripts/test builds it)")
        return SKIP
    failed = False
    for program in ("keyconv", "keyconv_busy"):
        exe = os.path.join(build_dir, program + ".exe")
        if not os.path.exists(exe):
            print(f"{exe} is missing: build the 'windows' preset first")
            return 1
        for problem in check(exe, version):
            print(f"{program}.exe: {problem}")
            failed = True
    print("windows binaries: " + ("FAILED" if failed else "passed"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
