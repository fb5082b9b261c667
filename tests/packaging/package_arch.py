"""The source release, and the Arch package that makepkg builds from it:
what the source release holds, what the package holds against the Debian
package, its .PKGINFO and its scriptlets, an install into an empty root
with pacman and the removal that leaves nothing, and the same bytes when
built again elsewhere."""

import os
import re
import subprocess
import tarfile
import tempfile

from maintainer_scripts import check_scripts
from package_contents import (SOURCE, check, check_checksum, deb_members, run, the_package)

# The Debian package's run-time dependencies, as Arch names them.
ARCH_NAMES = {"libc6": "glibc", "libevdev2": "libevdev", "libgcc-s1": "gcc-libs",
              "libstdc++6": "gcc-libs", "libudev1": "systemd-libs"}
# What only the Debian package holds: Debian's copyright and changelog, in
# place of the licence where Arch wants it.
DEBIAN_ONLY = {"usr/share/doc/keyconv/copyright", "usr/share/doc/keyconv/changelog.gz"}
ARCH_ONLY = {"usr/share/licenses/keyconv/LICENSE": "file"}
# pacman's own, in a root it installs into.
PACMANS_OWN = ("var/lib/pacman/", "var/cache/pacman/", "var/log/", "tmp/")


def check_source(directory, version):
    """Every file git tracks, as the tree has it, below keyconv-<version>/;
    the same bytes when made again."""
    package = the_package(directory, f"keyconv-{version}.tar.gz")
    tracked = run("git", "ls-files", cwd=SOURCE).stdout.split("\n")
    with tarfile.open(package) as archive:
        names = sorted(member.name for member in archive.getmembers() if member.isfile())
        check(names == sorted(f"keyconv-{version}/{name}" for name in tracked if name),
              f"the source release holds {names}")
        member = f"keyconv-{version}/CMakeLists.txt"
        check(archive.extractfile(member).read() == open(os.path.join(SOURCE, "CMakeLists.txt"),
                                                         "rb").read(), "CMakeLists.txt differs")
    check_checksum(package)
    with tempfile.TemporaryDirectory() as again:
        run(os.path.join(SOURCE, "packaging", "make-source-release.sh"), again, version)
        check(open(os.path.join(again, os.path.basename(package)), "rb").read() ==
              open(package, "rb").read(), "the source release made again differs")


def pkginfo(text):
    fields = {}
    for line in text.splitlines():
        if " = " in line and not line.startswith("#"):
            key, value = line.split(" = ", 1)
            fields.setdefault(key, []).append(value)
    return fields


def pacman(root, config, *arguments):
    """pacman on root alone; as root, in a user namespace where needed."""
    becomes_root = [] if os.getuid() == 0 else ["unshare", "--user", "--map-root-user"]
    return run(*becomes_root, "pacman", "--config", config, "--root", root, "--dbpath",
               os.path.join(root, "var/lib/pacman"), "--cachedir",
               os.path.join(root, "var/cache/pacman/pkg"), "--logfile",
               os.path.join(root, "var/log/pacman.log"), "--gpgdir",
               os.path.join(root, "var/lib/pacman/gnupg"), "--hookdir",
               os.path.join(root, "var/lib/pacman/hooks"), "--noconfirm", *arguments)


def check_round_trip(package, files):
    """Installed into an empty root, it holds its files there; removed, it
    leaves nothing but pacman's own. Its scriptlets are checked apart: an
    empty root has no shell to run them."""
    with tempfile.TemporaryDirectory() as root, tempfile.TemporaryDirectory() as etc:
        config = os.path.join(etc, "pacman.conf")
        with open(config, "w") as f:
            f.write("[options]\nArchitecture = auto\nSigLevel = Never\nLocalFileSigLevel = Never\n")
        os.makedirs(os.path.join(root, "var/lib/pacman"))
        done = pacman(root, config, "--upgrade", "--nodeps", "--nodeps", "--noscriptlet", package)
        check(done.returncode == 0, f"pacman --upgrade: {done.stdout}{done.stderr}")
        for name in files:
            check(os.path.lexists(os.path.join(root, name)), f"pacman did not install {name}")
        done = pacman(root, config, "--remove", "--noscriptlet", "keyconv")
        check(done.returncode == 0, f"pacman --remove: {done.stdout}{done.stderr}")
        left = [os.path.relpath(os.path.join(folder, name), root)
                for folder, folders, names in os.walk(root) for name in names + folders]
        left = [name for name in left if not (name + "/").startswith(PACMANS_OWN) and
                name not in ("var", "var/lib", "var/cache")]
        check(left == [], f"left behind after pacman --remove: {sorted(left)}")


def check_arch(directory, version, deb_directory):
    package = the_package(directory, f"keyconv-{version}-1-*.pkg.tar.zst")
    deb = the_package(deb_directory, f"keyconv_{version}_*.deb")
    with tempfile.TemporaryDirectory() as unpacked:
        subprocess.run(["bsdtar", "-xf", package, "-C", unpacked], check=True)
        listed = {}
        for folder, _, names in os.walk(unpacked):
            for name in names:
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, unpacked)
                if not relative.startswith("."):
                    listed[relative] = (f"link to {os.readlink(path)}" if os.path.islink(path)
                                        else "file")
        info = pkginfo(open(os.path.join(unpacked, ".PKGINFO")).read())
        install = open(os.path.join(unpacked, ".INSTALL")).read()
    from_deb = {name[2:]: kind for name, (kind, _) in deb_members(deb).items()
                if name[2:] not in DEBIAN_ONLY}
    check(listed == from_deb | ARCH_ONLY,
          f"the package holds {sorted(listed.items())}, the .deb {sorted(from_deb.items())}")

    fields = run("dpkg-deb", "--field", deb).stdout
    summary = re.search(r"^Description: (.*)$", fields, re.M).group(1)
    depends = re.search(r"^Depends: (.*)$", fields, re.M).group(1)
    wanted = {ARCH_NAMES[re.match(r"[^ (]+", d.strip()).group(0)] for d in depends.split(",")}
    for key, value in (("pkgname", ["keyconv"]), ("pkgver", [f"{version}-1"]),
                       ("pkgdesc", [summary]), ("license", ["MIT"])):
        check(info.get(key) == value, f".PKGINFO's {key} is {info.get(key)}, not {value}")
    check(set(info.get("depend", [])) == wanted,
          f".PKGINFO depends on {info.get('depend')}; the .deb's Depends are {wanted} on Arch")
    check({"cmake", "ninja", "pkgconf"} <= set(info.get("makedepend", [])),
          f".PKGINFO's makedepends: {info.get('makedepend')}")

    check(install == open(os.path.join(SOURCE, "packaging", "arch", "keyconv.install")).read(),
          "the package's .INSTALL is not packaging/arch/keyconv.install")
    # pacman sources it and calls each function with the version.
    call = install + '\n"$0" "$1"\n'
    check_scripts(check, "arch", (call.replace('"$0"', "post_install"), version),
                  (call.replace('"$0"', "post_remove"), version), None)
    check_scripts(check, "arch upgrade", (call.replace('"$0"', "post_upgrade"), version),
                  (call.replace('"$0"', "post_remove"), version), None)
    check_round_trip(package, listed)
    check_checksum(package)

    # Built again from the start, in another folder: the same bytes.
    with tempfile.TemporaryDirectory() as again:
        done = run(os.path.join(SOURCE, "packaging", "arch", "build-package.sh"), again, version)
        check(done.returncode == 0, f"the package built again: {done.stdout[-2000:]}{done.stderr}")
        rebuilt = os.path.join(again, os.path.basename(package))
        check(os.path.exists(rebuilt) and open(rebuilt, "rb").read() == open(package, "rb").read(),
              "the package built again differs")
