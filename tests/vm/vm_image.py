"""The guest's initramfs: busybox, the init script, the test binaries and
programs with their shared libraries at their host paths, the evdev and
uinput modules, udev, and Debian's dpkg with the package to install."""

import glob
import os
import re
import shutil
import subprocess


class Cpio:
    """An uncompressed newc archive: the kernel unpacks it without a decompressor."""

    def __init__(self, path):
        self.out = open(path, "wb")
        self.inode = 1
        self.seen = set()

    def _entry(self, name, mode, data=b"", size=None):
        name = name.lstrip("/") or "."
        header = "070701" + "".join(f"{v:08X}" for v in (
            self.inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0))
        self.inode += 1
        self.out.write(header.encode() + name.encode() + b"\0")
        self.out.write(b"\0" * (-(110 + len(name) + 1) % 4))
        self.out.write(data)
        self.out.write(b"\0" * (-len(data) % 4))

    def directory(self, path):
        parts = path.strip("/").split("/")
        for i in range(1, len(parts) + 1):
            sub = "/" + "/".join(parts[:i])
            if sub not in self.seen:
                self.seen.add(sub)
                self._entry(sub, 0o40755)

    def file(self, path, data, mode=0o755):
        if path in self.seen:
            return
        self.directory(os.path.dirname(path))
        self.seen.add(path)
        self._entry(path, 0o100000 | mode, data)

    def program(self, path, at=None):
        """A program with the shared libraries it needs, at their host paths."""
        self.file(at or os.path.abspath(path), open(path, "rb").read())
        for library in shared_libraries(path):
            self.file(library, open(library, "rb").read())

    def close(self):
        self._entry("TRAILER!!!", 0)
        self.out.write(b"\0" * (-self.out.tell() % 512))
        self.out.close()


def shared_libraries(binary):
    """The libraries the dynamic loader maps for binary, loader included."""
    out = subprocess.run(["ldd", binary], capture_output=True, text=True).stdout
    return re.findall(r"(/\S+) \(0x", out)


def pack(image, init, guest_dir, tests, files, deb, case_filter):
    cpio = Cpio(image)
    cpio.file("/bin/busybox", open(shutil.which("busybox"), "rb").read())
    cpio.file("/init", open(init, "rb").read())
    for directory in ("/proc", "/sys", "/dev", "/tmp", "/etc", "/root", "/var/lib/dpkg/info"):
        cpio.directory(directory)
    cpio.file("/var/lib/dpkg/status", b"", 0o644)
    cpio.file("/etc/passwd", b"root:x:0:0::/root:/bin/sh\nplayer:x:1000:1000::/tmp:/bin/sh\n",
              0o644)
    cpio.file("/etc/group", b"root:x:0:\ninput:x:101:\nplayer:x:1000:\n", 0o644)
    for module in glob.glob(os.path.join(guest_dir, "lib/modules/*/kernel/**/*.ko"),
                            recursive=True):
        cpio.file(module[len(guest_dir):], open(module, "rb").read(), 0o644)
    for modules in glob.glob(os.path.join(guest_dir, "lib/modules/*")):
        dep = "".join(os.path.relpath(m, modules) + ":\n"
                      for m in glob.glob(modules + "/kernel/**/*.ko", recursive=True))
        cpio.file(modules[len(guest_dir):] + "/modules.dep", dep.encode(), 0o644)
    udev = os.path.join(guest_dir, "udev")
    if os.path.exists(os.path.join(udev, "bin/udevadm")):
        cpio.program(os.path.join(udev, "bin/udevadm"), at="/bin/udevadm")
        # The daemon by its name.
        cpio.program(os.path.join(udev, "bin/udevadm"), at="/lib/systemd/systemd-udevd")
        for rules in glob.glob(os.path.join(udev, "lib/udev/rules.d/*.rules")):
            cpio.file(rules[len(udev):], open(rules, "rb").read(), 0o644)
        cpio.directory("/etc/udev/rules.d")
        cpio.directory("/run")
    for path in files:
        cpio.program(path)
    cpio.file("/vm/tests", "".join(os.path.abspath(t) + "\n" for t in tests).encode(), 0o644)
    cpio.file("/vm/filter", (case_filter + "\n").encode(), 0o644)
    if deb:
        cpio.file("/vm/keyconv.deb", open(deb, "rb").read(), 0o644)
        # Debian's own dpkg installs it, with what dpkg needs to run.
        for tool in ("/usr/bin/dpkg", "/usr/bin/dpkg-deb", "/usr/bin/dpkg-split", "/usr/bin/tar",
                     "/sbin/ldconfig"):
            cpio.program(tool)
        for directory in ("/var/lib/dpkg/updates", "/var/lib/dpkg/triggers", "/var/log",
                          "/etc/dpkg/dpkg.cfg.d"):
            cpio.directory(directory)
    cpio.close()
