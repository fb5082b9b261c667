#include "uinput_advice.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "program_say.h"

namespace {

constexpr const char* RULE = "60-keyconv-uinput.rules";
constexpr const char* APPLY_RULE =
    "sudo udevadm control --reload && sudo udevadm trigger --name-match=uinput";

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

// The README's two lines, run in the unpacked tarball's folder.
void say_tarball_install(const char* program, const char* folder) {
  say_as(program,
         "install once, as root, what loads it at every boot and gives /dev/uinput\n"
         "to the user logged in at the seat:\n"
         "  cd '%s'\n"
         "  sudo install -m 644 lib/udev/rules.d/%s /etc/udev/rules.d/ && "
         "sudo install -m 644 lib/modules-load.d/keyconv.conf /etc/modules-load.d/\n"
         "  sudo modprobe uinput && %s",
         folder, RULE, APPLY_RULE);
}

void say_how_to_load(const char* program, const Installation& at) {
  say_as(program, "load the uinput module:  sudo modprobe uinput");
  switch (at.by) {
    case InstalledBy::package:
      say_as(program, "the keyconv package has it loaded at every boot from then on.");
      return;
    case InstalledBy::tarball:
      say_tarball_install(program, at.folder);
      return;
    case InstalledBy::sources:
      say_as(program,
             "and to load it at every boot:\n"
             "  sudo install -m 644 '%s/packaging/keyconv-modules-load.conf' "
             "/etc/modules-load.d/keyconv.conf",
             at.folder);
      return;
    case InstalledBy::unknown:
      say_as(
          program,
          "and to load it at every boot:  echo uinput | sudo tee /etc/modules-load.d/keyconv.conf");
      return;
  }
}

void say_how_to_permit(const char* program, const Installation& at) {
  switch (at.by) {
    case InstalledBy::package:
      say_as(program,
             "the keyconv package's udev rule gives /dev/uinput to the user logged in\n"
             "at the seat: log in at the machine itself again (not over ssh), or\n"
             "apply the rule now:\n"
             "  %s",
             APPLY_RULE);
      break;
    case InstalledBy::tarball:
      say_tarball_install(program, at.folder);
      break;
    case InstalledBy::sources:
      say_as(program,
             "give it to the user logged in at the seat with the udev rule of the sources:\n"
             "  sudo install -m 644 '%s/packaging/%s' /etc/udev/rules.d/\n"
             "  %s",
             at.folder, RULE, APPLY_RULE);
      break;
    case InstalledBy::unknown:
      say_as(program,
             "give it to the user logged in at the seat with the udev rule %s\n"
             "(the keyconv package installs it; the tarball holds it in lib/udev/rules.d/,\n"
             "the sources in packaging/): copy it to /etc/udev/rules.d/, then\n"
             "  %s",
             RULE, APPLY_RULE);
      break;
  }
  say_as(program, "Do not run %s as root.", program);
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
  return at;
}

void explain_uinput_failure(const char* program, const char* path, int error, const char* what,
                            const Installation& installation) {
  say_as(program, "cannot %s %s: %s. %s cannot type without it.", what, path, std::strerror(error),
         program);
  if (error == ENOENT || error == ENODEV) say_how_to_load(program, installation);
  if (error == EACCES || error == EPERM) say_how_to_permit(program, installation);
}
