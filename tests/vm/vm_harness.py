"""Runs test binaries on a real Linux kernel in a QEMU virtual machine.

"run" packs an initramfs (busybox, the given files with their shared
libraries at their host paths, the evdev and uinput modules, udev, the init
script), boots Debian's kernel with it and streams what the guest writes on
its second serial port. Each GoogleTest case's output and verdict are kept
in <work>/results/<binary>/<Suite.Name>.log.

"result" is the CTest executor of the guest cases: it lists a binary's cases
by running it on the host, and replays a case's output and verdict from the
last run.
"""

import argparse
import glob
import os
import re
import select
import shutil
import subprocess
import sys
import time

from vm_image import pack

SKIP = 77              # CTest SKIP_RETURN_CODE of the run
BOOT_TIMEOUT_S = 5     # time for a kernel under KVM to say anything at all
RUN_TIMEOUT_S = 240
MARK = "@@keyconv-vm "
CASE_END = re.compile(r"^\[ +(OK|FAILED|SKIPPED) +\] (\S+)")


def boot(kernel, image, accel, console_log):
    """Starts QEMU; the guest's second serial port is the returned pipe."""
    command = ["qemu-system-x86_64", "-accel", accel, "-m", "768", "-smp", "2",
               "-nodefaults", "-display", "none", "-no-reboot",
               "-kernel", kernel, "-initrd", image,
               # The accelerator, for the tests whose figures depend on it.
               "-append", f"console=ttyS0 panic=-1 keyconv.accel={accel}",
               "-serial", "file:" + console_log,
               "-chardev", "stdio,id=results,signal=off", "-serial", "chardev:results"]
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)


def stream(qemu, console_log, results, started, kvm):
    """Prints the guest's output, files each case's lines; returns the end marker."""
    buffer, case, lines, end = b"", None, [], None
    broken = []  # binaries that did not run their cases to the end
    while end is None:
        if time.monotonic() - started > RUN_TIMEOUT_S:
            return "timeout"
        if kvm and time.monotonic() - started > BOOT_TIMEOUT_S and not os.path.getsize(
                console_log):
            return "kvm-hang"
        ready, _, _ = select.select([qemu.stdout], [], [], 0.5)
        if not ready:
            continue
        chunk = os.read(qemu.stdout.fileno(), 65536)
        if not chunk:
            return "qemu-exit"
        buffer += chunk.replace(b"\r", b"")
        *complete, buffer = buffer.split(b"\n")
        for raw in complete:
            line = raw.decode(errors="replace")
            print(line, flush=True)
            if line.startswith(MARK + "binary "):
                binary = os.path.basename(line.split()[2])
                os.makedirs(os.path.join(results, binary), exist_ok=True)
            elif line.startswith(MARK + "exit "):
                _, _, path, code = line.split()
                if code not in ("0", "1"):  # GoogleTest's own exit codes
                    broken.append(f"{path} exited with {code}")
            elif line.startswith(MARK + "end"):
                end = "; ".join(broken) if broken else line
            elif line.startswith("[ RUN      ] "):
                case, lines = line.split()[3], [line]
            elif case is not None:
                lines.append(line)
                verdict = CASE_END.match(line)
                if verdict and verdict.group(2) == case:
                    with open(os.path.join(results, binary, case + ".log"), "w") as f:
                        f.write(verdict.group(1) + "\n" + "\n".join(lines) + "\n")
                    case = None
    return end


def run(args):
    work = os.path.abspath(args.work_dir)
    results = os.path.join(work, "results")
    shutil.rmtree(results, ignore_errors=True)
    os.makedirs(results)
    status = os.path.join(work, "status")
    kernels = sorted(glob.glob(os.path.join(args.guest_dir, "boot/vmlinuz-*")))

    def finish(code, message):
        with open(status, "w") as f:
            f.write(message + "\n")
        print(message, flush=True)
        return code

    if not kernels:
        message = (f"no kernel in {args.guest_dir}: scripts/test fetches Debian's "
                   "(scripts/lib/vm_guest.sh)")
        return finish(1 if args.required else SKIP, "VM not run: " + message)
    for tool in ("qemu-system-x86_64", "busybox"):
        if shutil.which(tool) is None:
            package = "qemu-system-x86" if tool.startswith("qemu") else "busybox-static"
            return finish(1 if args.required else SKIP,
                          f"VM not run: {tool} is missing (Debian package {package})")

    image = os.path.join(work, "initramfs.cpio")
    started = time.monotonic()
    pack(image, args.init, os.path.abspath(args.guest_dir), args.tests,
         args.tests + args.files, args.deb, args.filter)
    print(f"initramfs: {os.path.getsize(image) // 1024} KiB, packed in "
          f"{time.monotonic() - started:.1f} s", flush=True)

    hang_mark = os.path.join(work, "kvm-hangs")
    accels = ["tcg"]
    kvm_usable = os.access("/dev/kvm", os.R_OK | os.W_OK) and not os.path.exists(hang_mark)
    if args.accel == "kvm" or (args.accel == "auto" and kvm_usable):
        accels.insert(0, "kvm")
    for accel in accels:
        console_log = os.path.join(work, f"console-{accel}.log")
        open(console_log, "w").close()
        started = time.monotonic()
        qemu = boot(kernels[-1], image, accel, console_log)
        end = stream(qemu, console_log, results, started, accel == "kvm")
        if qemu.poll() is None:
            qemu.kill()
        qemu.wait()
        took = time.monotonic() - started
        if end.startswith(MARK):
            return finish(0, f"VM run complete: accelerator {accel}, {took:.1f} s")
        print(f"accelerator {accel}: {end} after {took:.1f} s; console:", flush=True)
        print(open(console_log, errors="replace").read()[-3000:], flush=True)
        booted = os.path.getsize(console_log) > 0
        if accel != "kvm" or len(accels) == 1 or (booted and end != "qemu-exit"):
            break
        open(hang_mark, "w").close()  # known not to boot here: straight to TCG next time
        print("KVM cannot boot this kernel here: falling back to TCG", flush=True)
    return finish(1, f"VM run failed: {end}")


def result(args, command):
    """Replays one guest case for CTest; lists cases by running the binary here."""
    if "--gtest_list_tests" in command:
        os.execv(command[0], command)
    binary = os.path.basename(command[0])
    case = next(a.split("=", 1)[1] for a in command if a.startswith("--gtest_filter="))
    log = os.path.join(args.work_dir, "results", binary, case + ".log")
    if os.path.exists(log):
        verdict, _, text = open(log).read().partition("\n")
        print(text, end="")
        return 0 if verdict in ("OK", "SKIPPED") else 1
    status = os.path.join(args.work_dir, "status")
    said = open(status).read().strip() if os.path.exists(status) else "the VM has not run"
    print(f"no result from the guest for {case}: {said}")
    return SKIP if said.startswith("VM not run") else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    sub = parser.add_subparsers(dest="command", required=True)
    run_parser = sub.add_parser("run")
    run_parser.add_argument("--work-dir", required=True)
    run_parser.add_argument("--guest-dir", required=True,
                            help="Debian's kernel, modules and udev (scripts/lib/vm_guest.sh)")
    run_parser.add_argument("--init", required=True)
    run_parser.add_argument("--tests", nargs="+", required=True,
                            help="GoogleTest binaries to run in the guest")
    run_parser.add_argument("--files", nargs="*", default=[],
                            help="programs the tests start, packed with their libraries")
    run_parser.add_argument("--deb", help="a Debian package for the guest to install")
    run_parser.add_argument("--accel", choices=("auto", "kvm", "tcg"), default="auto")
    run_parser.add_argument("--filter", default="*",
                            help="the cases to run, as --gtest_filter takes them")
    run_parser.add_argument("--required", action="store_true",
                            help="a VM that cannot run is a failure, not a skip")
    result_parser = sub.add_parser("result")
    result_parser.add_argument("--work-dir", required=True)
    args, rest = parser.parse_known_args()
    if args.command == "result":
        sys.exit(result(args, rest))
    args.required = args.required or os.environ.get("KEYCONV_VM_REQUIRED") == "1"
    sys.exit(run(args))


if __name__ == "__main__":
    main()
