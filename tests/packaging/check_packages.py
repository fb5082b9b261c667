#!/usr/bin/env python3
"""Checks the release packages as they are shipped.

  check_packages.py deb PACKAGE_DIR VERSION   the Debian package: lintian
      (no error, no warning), its exact file list, its control fields, its
      manual page and its checksum file
  check_packages.py rpm PACKAGE_DIR VERSION   the RPM: rpmlint (no error,
      no warning but the ones explained below), its exact file list, its
      metadata, its requirements (found by rpm itself), its scriptlets and
      its checksum file
  check_packages.py tgz PACKAGE_DIR VERSION   the Linux tarball: its exact
      contents, programs that need only the run-times, libevdev and libudev,
      and that run where it is unpacked; its checksum file
  check_packages.py zip PACKAGE_DIR VERSION   the Windows zip: its exact
      contents and its checksum file
  check_packages.py install BUILD_DIR VERSION   a plain install with the
      prefix /usr into a staging directory: its exact file list
  check_packages.py reproducible BUILD_DIR VERSION   CPack run twice on the
      build (its programs touched in between, as a rebuild leaves them),
      with SOURCE_DATE_EPOCH set: byte-identical packages
  check_packages.py flags SOURCE_DIR VERSION   the sources configured with a
      distribution's own flags: each compile fortified once
  check_packages.py source PACKAGE_DIR VERSION   the source release: every
      file git tracks, its checksum file, the same bytes made again
  check_packages.py arch PACKAGE_DIR VERSION DEB_DIR   the Arch package:
      what the .deb holds, its .PKGINFO against the .deb's fields, its
      scriptlets, installed into an empty root and removed with pacman, the
      same bytes packaged again
  check_packages.py packager PACKAGE_DIR VERSION   the source release built
      plainly with the tests on, and the README's packager's test command run
  check_packages.py skip REASON   says why a check cannot run here and ends
      with CTest's skip status
The maintainer scripts of the deb and the RPM run in each case of
maintainer_scripts.py.
"""

import gzip
import io
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import zipfile

from maintainer_scripts import check_scripts
from package_arch import check_arch, check_source
from package_builds import check_flags, check_install, check_packager_tests, check_reproducible
from package_contents import (DEB_FILES, RPM_FILES, RPMLINT_EXPLAINED, RUN_TIMES, SOURCE,
                              TGZ_FILES, check, check_checksum, deb_members, failures, run,
                              the_package)

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
    scripts = {}
    for script in ("postinst", "postrm"):
        control = subprocess.run(["dpkg-deb", "--info", package, script],
                                 capture_output=True, text=True)
        check(control.returncode == 0 and control.stdout.startswith("#!/bin/sh"),
              f"no {script} script")
        scripts[script] = control.stdout
    check_scripts(check, "deb", (scripts["postinst"], "configure"), (scripts["postrm"], "remove"),
                  (scripts["postrm"], "upgrade"))

    # The manual pages, English and Japanese, render without a single groff
    # warning, and man -L ja finds the Japanese one once the package is in.
    for manual in ("man1", "ja/man1"):
        page = gzip.decompress(members.get(f"./usr/share/man/{manual}/keyconv.1.gz", ("", b""))[1])
        for width in ("80", "60"):
            rendered = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                                       "-"], input=page, capture_output=True,
                                      env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH=width))
            check(rendered.returncode == 0 and not rendered.stderr,
                  f"{manual} at width {width}: {rendered.stderr.decode(errors='replace')}")
    with tempfile.TemporaryDirectory() as root:
        subprocess.run(["dpkg-deb", "-x", package, root], check=True)
        # The unpacked tree as the system's manuals (man -M takes no
        # language's folder).
        manuals = os.path.join(root, "usr", "share", "man")
        environment = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MANPATH=manuals)
        found = run("man", "-L", "ja", "-w", "keyconv", env=environment).stdout
        check(found.strip() == os.path.join(manuals, "ja", "man1", "keyconv.1.gz"),
              f"man -L ja keyconv finds {found!r}")
        shown = run("man", "-L", "ja", "keyconv_busy", env=environment).stdout
        check("名前" in shown and "チャタリング防止の値" in shown,
              f"man -L ja keyconv_busy shows:\n{shown[:400]}")
    check_checksum(package)


def check_rpm(directory, version):
    package = the_package(directory, f"keyconv-{version}-1.*.rpm")
    lint = run("rpmlint", "-c", os.path.join(SOURCE, "packaging", "rpmlint.toml"), package)
    said = [line for line in lint.stdout.splitlines() if line.startswith("keyconv.")]
    print("rpmlint:", "\n  " + "\n  ".join(said) if said else "no message")
    check(" 0 errors," in lint.stdout, "rpmlint finds errors:\n" + lint.stdout + lint.stderr)
    unexplained = [line for line in said if line.split()[2] not in RPMLINT_EXPLAINED]
    check(not unexplained, f"rpmlint says what nobody explained: {unexplained}")

    listing = run("rpm", "-qp", "--qf", "[%{FILENAMES}\t%{FILEMODES:perms}\t%{FILELINKTOS}\n]",
                  package).stdout
    listed = {}
    for line in listing.splitlines():
        name, perms, link = line.split("\t")
        listed[name] = (f"link to {link}" if perms.startswith("l") else
                        "directory" if perms.startswith("d") else "file")
    check(listed == RPM_FILES, f"the RPM holds {sorted(listed.items())}")

    info = run("rpm", "-qip", package).stdout
    for field, value in (("Name", "keyconv"), ("Version", version), ("Release", "1"),
                         ("License", "MIT"), ("Architecture", "x86_64")):
        check(re.search(rf"^{field} *: {re.escape(value)}$", info, re.M), f"{field} is not {value}:\n{info}")
    requires = run("rpm", "-qpR", package).stdout.split("\n")
    requires = [r.strip() for r in requires if r.strip()]
    for library in ("libevdev.so.2()(64bit)", "libudev.so.1()(64bit)", "libc.so.6()(64bit)",
                    "libstdc++.so.6()(64bit)"):
        check(library in requires, f"requirements lack {library}: {requires}")
    # Found by rpm in the programs and scriptlets, none written by hand.
    found = [r for r in requires if "(" in r or r in ("/bin/sh",)]
    check(found == requires, f"requirements rpm did not find itself: {sorted(set(requires) - set(found))}")
    post = run("rpm", "-qp", "--qf", "%{POSTIN}", package).stdout
    postun = run("rpm", "-qp", "--qf", "%{POSTUN}", package).stdout
    check_scripts(check, "rpm", (post, "1"), (postun, "0"), (postun, "1"))
    log = run("rpm", "-qp", "--changelog", package).stdout
    debian = open(os.path.join(SOURCE, "packaging", "changelog")).read()
    for item in re.findall(r"^  \* (.*)$", debian, re.M):
        check(f"- {item}\n" in log, f"the RPM's changelog lacks {item!r}:\n{log}")
    check("CPack" not in log, f"CPack's changelog:\n{log}")
    check_checksum(package)


def check_tgz(directory, version):
    package = the_package(directory, f"keyconv-{version}-linux-*.tar.gz")
    top = os.path.basename(package)[:-len(".tar.gz")] + "/"
    with tarfile.open(package) as archive, tempfile.TemporaryDirectory() as unpacked:
        listed = {m.name[len(top):]: f"link to {m.linkname}" if m.issym() else "file"
                  for m in archive.getmembers() if not m.isdir()}
        check(all(m.name.startswith(top) for m in archive.getmembers()), "not all under " + top)
        check(listed == TGZ_FILES, f"the tarball holds {sorted(listed.items())}")
        archive.extractall(unpacked)
        program = os.path.join(unpacked, top, "bin", "keyconv")
        dynamic = run("readelf", "-d", program).stdout
        needed = set(re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic))
        check(needed and needed <= RUN_TIMES, f"keyconv needs {sorted(needed - RUN_TIMES)} too")
        check("RPATH" not in dynamic and "RUNPATH" not in dynamic, "keyconv looks for libraries "
              "where it was built")
        # Where the kernel offers no /dev/uinput: an empty /dev in a
        # namespace of its own, so the check holds on any machine.
        ran = run("unshare", "--user", "--map-root-user", "--mount", "sh", "-c",
                  'mount -t tmpfs none /dev && exec "$0"', program, cwd=unpacked)
        if "keyconv" not in ran.stderr and not os.path.exists("/dev/uinput"):
            ran = run(program, cwd=unpacked)  # no namespaces here, and no /dev/uinput either
        check(ran.returncode == 1, f"bin/keyconv ended with {ran.returncode}: {ran.stderr}")
        check("keyconv: cannot open /dev/uinput: No such file or directory." in ran.stderr and
              "sudo modprobe uinput" in ran.stderr, f"bin/keyconv said: {ran.stderr!r}")
        # The tarball's own install lines, from where it was unpacked.
        check(f"cd '{os.path.realpath(os.path.join(unpacked, top))}" in ran.stderr and
              "sudo install -m 644 lib/modules-load.d/keyconv.conf /etc/modules-load.d/"
              in ran.stderr, f"bin/keyconv gave no tarball's lines: {ran.stderr!r}")
    check_checksum(package)


def check_zip(directory, version):
    package = the_package(directory, f"keyconv-{version}-windows-x86_64.zip")
    top = f"keyconv-{version}-windows-x86_64/"
    with zipfile.ZipFile(package) as archive:
        names = sorted(n for n in archive.namelist() if not n.endswith("/"))
        expected = sorted(top + n for n in ("keyconv.exe", "keyconv_busy.exe", "README.md",
                                            "README.ja.md", "LICENSE"))
        check(names == expected, f"the zip holds {names}")
        if top + "README.ja.md" in names:
            source = open(os.path.join(SOURCE, "README.ja.md"), "rb").read()
            check(archive.read(top + "README.ja.md") == source, "README.ja.md is not the UTF-8 "
                  "source")
        for exe in ("keyconv.exe", "keyconv_busy.exe"):
            if top + exe in names:
                check(archive.read(top + exe)[:2] == b"MZ", f"{exe} is no Windows program")
    check_checksum(package)


SKIPPED = 77  # CTest's SKIP_RETURN_CODE of the package tests


def main():
    if sys.argv[1] == "skip":
        print("Skipped:", sys.argv[2])
        sys.exit(SKIPPED)
    kind, directory, version = sys.argv[1:4]
    checks = {"deb": check_deb, "rpm": check_rpm, "tgz": check_tgz, "zip": check_zip,
              "install": check_install, "reproducible": check_reproducible,
              "flags": check_flags, "source": check_source, "arch": check_arch,
              "packager": check_packager_tests}
    checks[kind](directory, version, *sys.argv[4:])
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
