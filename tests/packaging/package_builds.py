"""The packages as a build makes them: a plain install with the prefix
/usr, the same packages from the same build, run after run, a build
configured with a distribution's own flags, and the tests a packager runs
on a plain build of the source release."""

import json
import os
import re
import shutil
import tarfile
import tempfile
import time

from package_contents import INSTALL_FILES, SOURCE, check, run


def check_install(build, version):
    with tempfile.TemporaryDirectory() as staging:
        done = run("cmake", "--install", build, "--prefix", "/usr",
                   env=dict(os.environ, DESTDIR=staging))
        check(done.returncode == 0, f"cmake --install failed: {done.stderr}")
        listed = {}
        for folder, _, names in os.walk(staging):
            for name in names:
                path = os.path.join(folder, name)
                listed[os.path.relpath(path, staging)] = (
                    f"link to {os.readlink(path)}" if os.path.islink(path) else "file")
        check(listed == INSTALL_FILES, f"the install holds {sorted(listed.items())}")
    # A Debian packager empties the licence's folder: its copyright file
    # carries the licence. The documents need no build.
    with tempfile.TemporaryDirectory() as configured, tempfile.TemporaryDirectory() as staging:
        done = run("cmake", "-S", SOURCE, "-B", configured, "-DKEYCONV_LICENSE_DIR=")
        check(done.returncode == 0, f"configure without a licence folder: {done.stderr}")
        done = run("cmake", "--install", configured, "--component", "docs", "--prefix", "/usr",
                   env=dict(os.environ, DESTDIR=staging))
        check(done.returncode == 0, f"cmake --install of the documents failed: {done.stderr}")
        documents = sorted(os.path.relpath(os.path.join(folder, name), staging)
                           for folder, _, names in os.walk(staging) for name in names)
        check(documents == ["usr/share/doc/keyconv/README.ja.md", "usr/share/doc/keyconv/README.md"],
              f"without a licence folder the documents are {documents}")


def check_reproducible(build, version):
    """SOURCE_DATE_EPOCH comes from the test's environment."""
    check(bool(os.environ.get("SOURCE_DATE_EPOCH")), "SOURCE_DATE_EPOCH is not set")
    generators = ["ZIP"] if os.path.exists(os.path.join(build, "keyconv.exe")) else [
        "DEB", "RPM", "TGZ"]
    made = []
    for attempt in range(2):
        if attempt:
            time.sleep(1.1)  # a second later, and the programs as a rebuild leaves them
            for program in ("keyconv", "keyconv_busy", "keyconv.exe", "keyconv_busy.exe"):
                if os.path.exists(os.path.join(build, program)):
                    os.utime(os.path.join(build, program))
        out = tempfile.mkdtemp()
        for generator in generators:
            done = run("cpack", "-G", generator, "-B", out, cwd=build)
            check(done.returncode == 0, f"cpack -G {generator}: {done.stdout}{done.stderr}")
        made.append({name: open(os.path.join(out, name), "rb").read()
                     for name in os.listdir(out) if os.path.isfile(os.path.join(out, name))})
        shutil.rmtree(out)
    check(len(made[0]) >= len(generators) and made[0].keys() == made[1].keys(),
          f"packages made: {sorted(made[0])}, then {sorted(made[1])}")
    for name in sorted(made[0]):
        same = made[0][name] == made[1].get(name)
        print(f"{name}: {'the same' if same else 'DIFFERENT'} in both runs")
        check(same, f"{name} differs between two runs")


def check_flags(source, version):
    """Each compile fortifies once: with the project's level where the
    flags say nothing, with the distribution's where they do (Arch's and
    Fedora's -Wp,-D_FORTIFY_SOURCE=3), never both."""
    for flags, level in (("", "2"), ("-O2 -Wp,-D_FORTIFY_SOURCE=3", "3"),
                         ("-D_FORTIFY_SOURCE=3", "3")):
        with tempfile.TemporaryDirectory() as build:
            done = run("cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                       "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON", env=dict(os.environ, CXXFLAGS=flags))
            check(done.returncode == 0, f"configure with {flags!r}: {done.stdout}{done.stderr}")
            with open(os.path.join(build, "compile_commands.json")) as commands:
                compiles = json.load(commands)
            check(bool(compiles), "no compile commands")
            for compile_command in compiles:
                found = re.findall(r"_FORTIFY_SOURCE=(\d)", compile_command["command"])
                check(found == [level], f"with CXXFLAGS={flags!r}, {compile_command['file']} "
                      f"fortifies as {found}")


def check_packager_tests(directory, version):
    """The source release unpacked and built as a packager builds it, plain,
    with the tests on; then the README's packager's test command, as
    printed, from the unpacked folder: it must pass."""
    readme = open(os.path.join(SOURCE, "README.md")).read()
    found = re.search(r"a\s+packager leaves them out:\s+`([^`]+)`", readme)
    check(found is not None, "the README gives no packager's test command")
    if found is None:
        return
    with tempfile.TemporaryDirectory() as work:
        with tarfile.open(os.path.join(directory, f"keyconv-{version}.tar.gz")) as release:
            release.extractall(work)
        tree = os.path.join(work, f"keyconv-{version}")
        environment = dict(os.environ, CMAKE_BUILD_PARALLEL_LEVEL=str(os.cpu_count() or 1))
        for step in (["cmake", "-B", "build", "-DBUILD_TESTING=ON"], ["cmake", "--build", "build"]):
            done = run(*step, cwd=tree, env=environment)
            check(done.returncode == 0, f"{' '.join(step)}: {done.stdout[-3000:]}{done.stderr}")
            if done.returncode != 0:
                return
        done = run("bash", "-c", found.group(1), cwd=tree, env=environment)
        print(done.stdout[-600:])
        check(done.returncode == 0 and "100% tests passed" in done.stdout,
              f"{found.group(1)}: {done.stdout[-3000:]}{done.stderr}")
