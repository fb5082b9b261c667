// What fixes a missing or denied /dev/uinput depends on how keyconv came:
// a package has put the udev rule and the modules-load.d entry in place;
// the tarball holds them in its own folder; the sources under packaging/.
#pragma once

#include <climits>

#include "controller_advice.h"

enum class InstalledBy { package, tarball, sources, unknown };

// The line of keyconv's udev rule (packaging/60-keyconv-uinput.rules): for
// a program that cannot tell where its file is.
#define UINPUT_RULE \
  "KERNEL==\"uinput\", SUBSYSTEM==\"misc\", TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\""

struct Installation {
  InstalledBy by;
  char folder[PATH_MAX];  // the unpacked tarball's folder, or the source tree
};

// How the program at exe_path came, usr being the system's /usr: a package
// when it lies in usr/bin and usr/lib/udev/rules.d holds the rule; a
// tarball (or an install elsewhere) when the rule lies in lib/udev/rules.d
// beside its bin/; the sources when a folder above it holds the rule in
// packaging/, or when it lies in a CMake build whose cache names such a
// folder. Anything else (a program moved, say) is unknown.
Installation installation_of(const char* exe_path, const char* usr);

// Says on standard error, as program, that it could not open or use (what)
// the uinput device at path for error, and how to fix that for the way it
// was installed and for the machine: without logind, or without udev, the
// rule that installation brings gives /dev/uinput to nobody.
void explain_uinput_failure(const char* program, const char* path, int error, const char* what,
                            const Installation& installation, RefusalCause cause);
