"""What the packages hold, and the checks they share: the exact file lists
and the checksum files beside the packages."""

import glob
import hashlib
import io
import os
import subprocess
import sys
import tarfile

# What every Linux package installs, below its prefix (/usr, or the tarball's
# top folder); each kind of package adds its own documentation.
INSTALLED = {
    "bin/keyconv": "file",
    "bin/keyconv_busy": "file",
    "lib/modules-load.d/keyconv.conf": "file",
    "lib/udev/rules.d/60-keyconv-uinput.rules": "file",
    "share/man/man1/keyconv.1.gz": "file",
    "share/man/man1/keyconv_busy.1.gz": "link to keyconv.1.gz",
    "share/man/ja/man1/keyconv.1.gz": "file",
    "share/man/ja/man1/keyconv_busy.1.gz": "link to keyconv.1.gz",
}
DEB_FILES = {"./usr/" + path: kind for path, kind in INSTALLED.items()} | {
    f"./usr/share/doc/keyconv/{name}": "file"
    for name in ("README.md", "README.ja.md", "changelog.gz", "copyright")}
RPM_FILES = {"/usr/" + path: kind for path, kind in INSTALLED.items()} | {
    "/usr/share/doc/keyconv": "directory", "/usr/share/doc/keyconv/README.md": "file",
    "/usr/share/doc/keyconv/README.ja.md": "file",
    "/usr/share/licenses/keyconv": "directory", "/usr/share/licenses/keyconv/LICENSE": "file"}
TGZ_FILES = INSTALLED | {"LICENSE": "file", "README.md": "file", "README.ja.md": "file"}
# A plain install with the prefix /usr, as a distribution's build runs it.
INSTALL_FILES = {"usr/" + path: kind for path, kind in INSTALLED.items()} | {
    "usr/share/doc/keyconv/README.md": "file", "usr/share/doc/keyconv/README.ja.md": "file",
    "usr/share/licenses/keyconv/LICENSE": "file"}

# rpmlint's warnings that stay, and why: udev rules and modules-load.d
# entries belong in /usr/lib whatever the architecture; rpmlint 2.4 counts
# manual pages by section, not by name, so it finds none for any program;
# Debian's rpmlint knows no licence names (distributions list their own).
RPMLINT_EXPLAINED = {"only-non-binary-in-usr-lib", "no-manual-page-for-binary", "invalid-license"}

# What the Linux programs may need: the C and C++ run-times, libevdev, libudev.
RUN_TIMES = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1", "libevdev.so.2",
             "libudev.so.1"}

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def the_package(directory, pattern):
    found = glob.glob(os.path.join(directory, pattern))
    if len(found) != 1:
        sys.exit(f"expected one {pattern} in {directory}, found {found}")
    return found[0]


def check_checksum(package):
    """CPack's checksum file beside the package: sha256sum's format."""
    try:
        line = open(package + ".sha256").read()
    except FileNotFoundError:
        failures.append(f"no checksum file {package}.sha256")
        return
    digest = hashlib.sha256(open(package, "rb").read()).hexdigest()
    check(line == f"{digest}  {os.path.basename(package)}\n",
          f"{package}.sha256 says {line!r}, the package's SHA-256 is {digest}")


def deb_members(package):
    """The data archive's entries, as dpkg-deb lists them."""
    data = subprocess.run(["dpkg-deb", "--fsys-tarfile", package], check=True,
                          capture_output=True).stdout
    members = {}
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        for member in archive.getmembers():
            if member.isdir():
                continue
            kind = f"link to {member.linkname}" if member.issym() else "file"
            members[member.name] = (kind, archive.extractfile(member).read()
                                    if member.isfile() else b"")
    return members
