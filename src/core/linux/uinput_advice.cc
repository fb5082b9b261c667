#include "uinput_advice.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "program_say.h"

namespace {

constexpr const char* RULE = "60-keyconv-uinput.rules";

// The README's two lines, run in the unpacked tarball's folder.
constexpr const char* TARBALL_INSTALL =
    "install once, as root, what loads it at every boot and gives /dev/uinput\n"
    "to the user logged in at the seat:\n"
    "  cd %s\n"
    "  sudo install -m 644 lib/udev/rules.d/60-keyconv-uinput.rules /etc/udev/rules.d/ && "
    "sudo install -m 644 lib/modules-load.d/keyconv.conf /etc/modules-load.d/\n"
    "  sudo modprobe uinput && sudo udevadm control --reload && "
    "sudo udevadm trigger --name-match=uinput";

// What fixes a missing uinput module and a denied /dev/uinput, for each
// way keyconv came (InstalledBy's order): printf's formats, which take the
// installation's folder, quoted for the shell, where they need it. Each
// command stands whole on a line of its own, indented.
struct Fixes {
  const char* missing;
  const char* denied;
};
constexpr Fixes FIXES[] = {
    {"the keyconv package has it loaded at every boot from then on.",
     "the keyconv package's udev rule gives /dev/uinput to the user logged in\n"
     "at the seat: log in at the machine itself again (not over ssh), or\n"
     "apply the rule now:\n"
     "  sudo udevadm control --reload && sudo udevadm trigger --name-match=uinput"},
    {TARBALL_INSTALL, TARBALL_INSTALL},
    {"and to load it at every boot:\n"
     "  sudo install -m 644 %s/packaging/keyconv-modules-load.conf "
     "/etc/modules-load.d/keyconv.conf",
     "give it to the user logged in at the seat with the udev rule of the sources:\n"
     "  sudo install -m 644 %s/packaging/60-keyconv-uinput.rules /etc/udev/rules.d/\n"
     "  sudo udevadm control --reload && sudo udevadm trigger --name-match=uinput"},
    {"and to load it at every boot:\n"
     "  echo uinput | sudo tee /etc/modules-load.d/keyconv.conf",
     "give it to the user logged in at the seat with keyconv's udev rule, the line of\n"
     "its file 60-keyconv-uinput.rules:\n"
     "  echo '" UINPUT_RULE "' | sudo tee /etc/udev/rules.d/60-keyconv-uinput.rules\n"
     "  sudo udevadm control --reload && sudo udevadm trigger --name-match=uinput"},
};

static_assert(std::size(FIXES) == static_cast<std::size_t>(InstalledBy::unknown) + 1);

bool exists(const char* folder, const char* below) {
  char path[PATH_MAX * 2];
  std::snprintf(path, sizeof path, "%s/%s", folder, below);
  return access(path, F_OK) == 0;
}

// The folder that holds path, in place; false at the top.
bool up(char* path) {
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr || slash == path) return false;
  *slash = '\0';
  return true;
}

// The source tree of the CMake build in folder (CMAKE_HOME_DIRECTORY of its
// CMakeCache.txt), into sources.
bool sources_of_build(const char* folder, char (&sources)[PATH_MAX]) {
  char cache[PATH_MAX + 16];
  std::snprintf(cache, sizeof cache, "%s/CMakeCache.txt", folder);
  std::FILE* file = std::fopen(cache, "re");
  if (file == nullptr) return false;
  constexpr char KEY[] = "CMAKE_HOME_DIRECTORY:INTERNAL=";
  bool found = false;
  char line[PATH_MAX + 64];
  while (!found && std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, KEY, sizeof KEY - 1) != 0) continue;
    line[std::strcspn(line, "\n")] = '\0';
    found = std::snprintf(sources, sizeof sources, "%s", line + sizeof KEY - 1) > 0;
  }
  std::fclose(file);
  return found;
}

}  // namespace

Installation installation_of(const char* exe_path, const char* usr) {
  Installation at = {InstalledBy::unknown, ""};
  char bin[PATH_MAX];
  std::snprintf(bin, sizeof bin, "%s", exe_path);
  if (!up(bin)) return at;
  char usr_bin[PATH_MAX + 8];
  std::snprintf(usr_bin, sizeof usr_bin, "%s/bin", usr);
  char rule_below[128];
  std::snprintf(rule_below, sizeof rule_below, "lib/udev/rules.d/%s", RULE);
  if (std::strcmp(bin, usr_bin) == 0 && exists(usr, rule_below)) {
    at.by = InstalledBy::package;
    return at;
  }
  char folder[PATH_MAX];
  std::snprintf(folder, sizeof folder, "%s", bin);
  if (up(folder) && exists(folder, rule_below)) {
    at.by = InstalledBy::tarball;
    std::snprintf(at.folder, sizeof at.folder, "%s", folder);
    return at;
  }
  // A build below the source tree: build/linux/keyconv, say.
  char packaging_rule[128];
  std::snprintf(packaging_rule, sizeof packaging_rule, "packaging/%s", RULE);
  std::snprintf(folder, sizeof folder, "%s", bin);
  for (int levels = 0; levels < 4; ++levels) {
    if (exists(folder, packaging_rule)) {
      at.by = InstalledBy::sources;
      std::snprintf(at.folder, sizeof at.folder, "%s", folder);
      return at;
    }
    if (!up(folder)) break;
  }
  // A build elsewhere: its CMakeCache.txt names the source tree.
  if (sources_of_build(bin, folder) && exists(folder, packaging_rule)) {
    at.by = InstalledBy::sources;
    std::snprintf(at.folder, sizeof at.folder, "%s", folder);
  }
  return at;
}

void explain_uinput_failure(const char* program, const char* path, int error, const char* what,
                            const Installation& installation, RefusalCause cause) {
  char shown_path[PATH_MAX * 4 + 1];
  shown_safely(path, shown_path, sizeof shown_path);
  say_as(program, "cannot %s %s: %s. %s cannot type without it.", what, shown_path,
         std::strerror(error), program);
  const Fixes& fixes = FIXES[static_cast<int>(installation.by)];
  // Each quote of the folder's takes four characters at most.
  char folder[sizeof installation.folder * 4 + 4];
  shell_quoted(installation.folder, folder, sizeof folder);
  if (error == ENOENT || error == ENODEV) {
    say_as(program, "load the uinput module:\n  sudo modprobe uinput");
    say_as(program, fixes.missing, folder);
  }
  if (error == EACCES || error == EPERM) {
    // The rule's uaccess tag is applied by logind, and rules by udev.
    char user[64];
    user_for_rule(getuid(), user);
    if (cause == RefusalCause::no_udev) {
      char quoted_path[PATH_MAX * 4 + 4];
      shell_quoted(path, quoted_path, sizeof quoted_path);
      say_as(program,
             "no udev runs here (a container, say), so no rule applies. Give it to %s\n"
             "until the next boot (in a container, where the node is made, outside it):\n"
             "  sudo chown %s %s",
             user, user, quoted_path);
    } else if (cause == RefusalCause::no_logind) {
      say_as(program,
             "no logind runs here (seatd, or OpenRC without elogind, say), so the uaccess\n"
             "tag of keyconv's rule gives it to nobody. This rule gives it to %s; it adds a\n"
             "line to a file of its own:\n"
             "  echo 'KERNEL==\"uinput\", SUBSYSTEM==\"misc\", OWNER=\"%s\"' | "
             "sudo tee -a /etc/udev/rules.d/61-keyconv-uinput-owner.rules\n"
             "  sudo udevadm control --reload && sudo udevadm trigger --name-match=uinput",
             user, user);
    } else {
      say_as(program, fixes.denied, folder);
    }
    say_as(program, "Do not run %s as root.", program);
  }
}
