#!/usr/bin/env python3
"""Checks the release packages as they are shipped.

  check_packages.py deb PACKAGE_DIR VERSION   the Debian package: lintian
      (no error, no warning), its exact file list, its control fields, its
      manual page and its checksum file
  check_packages.py zip PACKAGE_DIR VERSION   the Windows zip: its exact
      contents and its checksum file
"""

import glob
import gzip
import hashlib
import io
import os
import subprocess
import sys
import tarfile
import zipfile

DEB_FILES = {
    "./usr/bin/keyconv": "file",
    "./usr/bin/keyconv_busy": "file",
    "./usr/lib/modules-load.d/keyconv.conf": "file",
    "./usr/lib/udev/rules.d/60-keyconv-uinput.rules": "file",
    "./usr/share/doc/keyconv/README.md": "file",
    "./usr/share/doc/keyconv/changelog.gz": "file",
    "./usr/share/doc/keyconv/copyright": "file",
    "./usr/share/man/man1/keyconv.1.gz": "file",
    "./usr/share/man/man1/keyconv_busy.1.gz": "link to keyconv.1.gz",
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


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


def check_deb(directory, version):
    package = the_package(directory, f"keyconv_{version}_*.deb")
    lintian = subprocess.run(["lintian", "--fail-on", "error,warning", "--display-info",
                              "--tag-display-limit", "0", package],
                             capture_output=True, text=True)
    tags = [line for line in lintian.stdout.splitlines() if line[:2] in ("E:", "W:", "I:")]
    print("lintian:", "no tags" if not tags else "\n  " + "\n  ".join(tags))
    check(lintian.returncode == 0 and not any(t[:2] in ("E:", "W:") for t in tags),
          "lintian finds errors or warnings:\n" + lintian.stdout + lintian.stderr)

    members = deb_members(package)
    listed = {name: kind for name, (kind, _) in members.items()}
    check(listed == DEB_FILES, f"the package holds {sorted(listed.items())}")
    if "./usr/lib/modules-load.d/keyconv.conf" in members:
        lines = members["./usr/lib/modules-load.d/keyconv.conf"][1].decode().splitlines()
        check([l for l in lines if l and not l.startswith("#")] == ["uinput"],
              f"modules-load.d entry: {lines}")

    fields = subprocess.run(["dpkg-deb", "--field", package], check=True,
                            capture_output=True, text=True).stdout
    check(f"Version: {version}\n" in fields, fields)
    for needed in ("libevdev2", "libudev1"):
        check(needed in fields.split("Depends:")[1].split("\n")[0], f"Depends lacks {needed}")
    for script in ("postinst", "postrm"):
        control = subprocess.run(["dpkg-deb", "--info", package, script],
                                 capture_output=True, text=True)
        check(control.returncode == 0 and control.stdout.startswith("#!/bin/sh"),
              f"no {script} script")

    # The manual page renders without a single groff warning.
    page = gzip.decompress(members.get("./usr/share/man/man1/keyconv.1.gz", ("", b""))[1])
    for width in ("80", "60"):
        rendered = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", "-"],
                                  input=page, capture_output=True,
                                  env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH=width))
        check(rendered.returncode == 0 and not rendered.stderr,
              f"man at width {width}: {rendered.stderr.decode(errors='replace')}")
    check_checksum(package)


def check_zip(directory, version):
    package = the_package(directory, f"keyconv-{version}-windows-x86_64.zip")
    top = f"keyconv-{version}-windows-x86_64/"
    with zipfile.ZipFile(package) as archive:
        names = sorted(n for n in archive.namelist() if not n.endswith("/"))
        expected = sorted(top + n for n in ("keyconv.exe", "keyconv_busy.exe", "README.md",
                                            "LICENSE"))
        check(names == expected, f"the zip holds {names}")
        for exe in ("keyconv.exe", "keyconv_busy.exe"):
            if top + exe in names:
                check(archive.read(top + exe)[:2] == b"MZ", f"{exe} is no Windows program")
    check_checksum(package)


def main():
    kind, directory, version = sys.argv[1:4]
    (check_deb if kind == "deb" else check_zip)(directory, version)
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
