// What the virtual keyboard says when /dev/uinput is missing or denied, as
// fits the way the program came: a package, the tarball, the sources.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../src/core/linux/controller_advice.h"
#include "../src/core/linux/keyboard_uinput.h"
#include "../src/core/linux/uinput_advice.h"
#include "input_tree.h"
#include "pasted_commands.h"

namespace {

std::string read_text(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(UinputKeyboard, MissingDeviceSaysHowToLoadTheModule) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard("/nonexistent/uinput"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("/nonexistent/uinput"), std::string::npos) << said;
  EXPECT_NE(said.find("sudo modprobe uinput"), std::string::npos) << said;
  EXPECT_NE(said.find("/etc/modules-load.d/"), std::string::npos) << said;
}

TEST(UinputKeyboard, DeniedDeviceNamesTheFixForThisMachineAndNeverRoot) {
  const InputTree tree;
  const std::string denied = tree.dev + "/uinput";
  if (!make_denied_file(denied, O_RDWR))
    GTEST_SKIP() << "no file here refuses this user with EACCES";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard(denied.c_str()));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
  // Where no udev runs (a container, as CI's), no rule would apply.
  if (access("/run/udev/control", F_OK) == 0) {
    EXPECT_NE(said.find("udevadm"), std::string::npos) << said;
  } else {
    EXPECT_NE(said.find("  sudo chown "), std::string::npos) << said;
  }
  EXPECT_EQ(said.find("sudo keyconv"), std::string::npos) << said;
}

TEST(UinputKeyboard, NotAUinputDeviceFails) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard("/dev/null"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot create a virtual keyboard through /dev/null"), std::string::npos)
      << said;
}

// How the program came, told by what lies around it; usr stands for /usr.
TEST(UinputAdvice, HowTheProgramCameIsToldByWhatLiesAroundIt) {
  const InputTree tree;
  const fs::path root = tree.root;
  const std::string rule = "60-keyconv-uinput.rules";
  write_file(root / "usr/lib/udev/rules.d" / rule, "");
  write_file(root / "opt/keyconv-1.0.0/lib/udev/rules.d" / rule, "");
  write_file(root / "usr/local/lib/udev/rules.d" / rule, "");
  write_file(root / "src/packaging" / rule, "");
  // Builds outside the source tree, the cache naming their sources.
  write_file(root / "elsewhere/build/CMakeCache.txt",
             "# This is the CMakeCache file.\nCMAKE_HOME_DIRECTORY:INTERNAL=" +
                 (root / "src").string() + "\nCMAKE_BUILD_TYPE:STRING=Release\n");
  write_file(root / "gone/build/CMakeCache.txt",
             "CMAKE_HOME_DIRECTORY:INTERNAL=" + (root / "removed-sources").string() + "\n");
  const struct {
    const char* program;
    InstalledBy by;
    const char* folder;
  } cases[] = {
      {"usr/bin/keyconv", InstalledBy::package, ""},
      {"opt/keyconv-1.0.0/bin/keyconv", InstalledBy::tarball, "opt/keyconv-1.0.0"},
      {"usr/local/bin/keyconv", InstalledBy::tarball, "usr/local"},  // udev reads no /usr/local
      {"src/build/linux/keyconv", InstalledBy::sources, "src"},
      {"src/keyconv", InstalledBy::sources, "src"},
      {"elsewhere/build/keyconv", InstalledBy::sources, "src"},
      {"gone/build/keyconv", InstalledBy::unknown, ""},
      {"home/player/keyconv", InstalledBy::unknown, ""},
  };
  for (const auto& c : cases) {
    const Installation found = installation_of((root / c.program).c_str(), (root / "usr").c_str());
    EXPECT_EQ(found.by, c.by) << c.program;
    EXPECT_EQ(found.folder, *c.folder != '\0' ? (root / c.folder).string() : "") << c.program;
  }
}

// Nothing in a message can drive the terminal: no control byte but the
// line feed, no C1 control, no byte of no UTF-8 character.
bool terminal_safe(const std::string& said) {
  for (std::size_t i = 0; i < said.size(); ++i) {
    const auto byte = static_cast<unsigned char>(said[i]);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7f || byte >= 0xf8) return false;
    if (byte == 0xc2 && i + 1 < said.size() && static_cast<unsigned char>(said[i + 1]) < 0xa0) {
      return false;
    }
  }
  return true;
}

// The advice fits how the program came, or why a controller is refused.
// Each message's first line names the program; the commands stand on
// lines of their own, and pasted as printed, with the folder's name quoted
// whatever it holds, they run and find the files they install. The
// tarball's lines are the README's own.
TEST(UinputAdvice, EachWayOfInstallingAndEachRefusalGetsItsOwnFixThatPastes) {
  const std::string readme = read_text(KEYCONV_SOURCE_DIR "/README.md");
  const std::string tarball_lines[] = {
      "sudo install -m 644 lib/udev/rules.d/60-keyconv-uinput.rules /etc/udev/rules.d/ && sudo "
      "install -m 644 lib/modules-load.d/keyconv.conf /etc/modules-load.d/",
      "sudo modprobe uinput && sudo udevadm control --reload && sudo udevadm trigger "
      "--name-match=uinput"};
  for (const std::string& line : tarball_lines) {
    EXPECT_NE(readme.find(line), std::string::npos) << "not in the README: " << line;
  }
  const InputTree tree;
  const std::string folder = (tree.root / "it's a $HOME folder").string();
  const std::string hostile_folder = (tree.root / "a\x1b]0;owned\x07 folder").string();
  for (const std::string& root : {folder, hostile_folder}) {
    for (const char* file :
         {"lib/udev/rules.d/60-keyconv-uinput.rules", "lib/modules-load.d/keyconv.conf",
          "packaging/60-keyconv-uinput.rules", "packaging/keyconv-modules-load.conf"}) {
      write_file(fs::path(root) / file, "");
    }
  }
  // As a shell takes them back: '<root>/it'\''s a $HOME folder', and the
  // escape bytes in bash's $'...'.
  std::string quoted = tree.root.string();
  quoted.insert(0, 1, '\'').append("/it'\\''s a $HOME folder'");
  const std::string hostile_quoted = "$'" + tree.root.string() + "/a\\x1b]0;owned\\x07 folder'";
  const auto uinput = [](InstalledBy by, int error, std::string at,
                         RefusalCause seat = RefusalCause::nobody_at_seat) {
    return [=] {
      Installation installation = {by, ""};
      std::snprintf(installation.folder, sizeof installation.folder, "%s", at.c_str());
      explain_uinput_failure("keyconv_busy", "/dev/uinput", error, "open", installation, seat);
    };
  };
  // The rule as its file has it, for a program that cannot tell where that is.
  std::string rule_line;
  std::istringstream rule_file(read_text(KEYCONV_SOURCE_DIR "/packaging/60-keyconv-uinput.rules"));
  for (std::string line; std::getline(rule_file, line);) {
    if (!line.empty() && line[0] != '#') rule_line = line;
  }
  const uid_t uid = getuid();
  const std::string user = getpwuid(uid) != nullptr ? getpwuid(uid)->pw_name : "";
  const auto refused = [](RefusalCause cause, uid_t active, const char* name = "Pad") {
    return [=] {
      const Refusal refusal = {cause, "seat0", getuid(), active, "plugdev"};
      explain_refused_controller("keyconv_busy", name, "/dev/input/event5", EACCES, refusal);
    };
  };
  const struct {
    const char* what;
    std::function<void()> say;
    std::vector<std::string> said;
    std::size_t commands;
  } cases[] = {
      {"package, no module",
       uinput(InstalledBy::package, ENOENT, folder),
       {"  sudo modprobe uinput", "package has it loaded"},
       1},
      {"package, denied",
       uinput(InstalledBy::package, EACCES, folder),
       {"log in at the machine itself again", "udevadm trigger"},
       1},
      {"tarball, no module",
       uinput(InstalledBy::tarball, ENOENT, folder),
       {"  cd " + quoted, tarball_lines[0], tarball_lines[1]},
       4},
      {"tarball, denied",
       uinput(InstalledBy::tarball, EACCES, folder),
       {"  cd " + quoted, tarball_lines[0], tarball_lines[1]},
       3},
      {"tarball in a folder whose name holds ESC and BEL",
       uinput(InstalledBy::tarball, EACCES, hostile_folder),
       {"  cd " + hostile_quoted},
       3},
      {"sources, no module",
       uinput(InstalledBy::sources, ENOENT, folder),
       {"  sudo modprobe uinput", quoted + "/packaging/keyconv-modules-load.conf"},
       2},
      {"sources, denied",
       uinput(InstalledBy::sources, EACCES, folder),
       {quoted + "/packaging/60-keyconv-uinput.rules"},
       2},
      {"unknown, no module",
       uinput(InstalledBy::unknown, ENOENT, folder),
       {"  sudo modprobe uinput", "/etc/modules-load.d/keyconv.conf"},
       2},
      {"unknown (moved, say), denied",
       uinput(InstalledBy::unknown, EACCES, folder),
       {"  echo '" + rule_line + "' | sudo tee /etc/udev/rules.d/60-keyconv-uinput.rules",
        "udevadm trigger"},
       2},
      {"package, denied, no logind",
       uinput(InstalledBy::package, EACCES, folder, RefusalCause::no_logind),
       {"no logind runs here",
        "  echo 'KERNEL==\"uinput\", SUBSYSTEM==\"misc\", OWNER=\"" + user +
            "\"' | sudo tee -a /etc/udev/rules.d/61-keyconv-uinput-owner.rules"},
       2},
      {"tarball, denied, no udev",
       uinput(InstalledBy::tarball, EACCES, folder, RefusalCause::no_udev),
       {"no udev runs here", "  sudo chown " + user + " '/dev/uinput'"},
       1},
      {"controller, nobody at the seat",
       refused(RefusalCause::nobody_at_seat, 0),
       {"cannot read the controller \"Pad\" (/dev/input/event5): Permission denied.",
        "nobody's is at seat0", "not over ssh", "'plugdev'"},
       0},
      {"controller, another user at the seat",
       refused(RefusalCause::other_user, 0),
       {"at seat0 that is root", "switch back to your own session", "'plugdev'"},
       0},
      {"controller, this user at the seat",
       refused(RefusalCause::seat_user, uid),
       {"uaccess", "  udevadm info --query=property --name='/dev/input/event5'"},
       1},
      {"controller, no logind",
       refused(RefusalCause::no_logind, 0),
       {"seatd", "KERNEL==\"event*\", ENV{ID_INPUT_JOYSTICK}==\"1\", OWNER=\"" + user + "\"",
        "| sudo tee -a /etc/udev/rules.d/61-keyconv-joysticks.rules", "--action=change"},
       2},
      {"controller, no udev",
       refused(RefusalCause::no_udev, 0),
       {"no rule applies", "  sudo chown " + user + " '/dev/input/event5'"},
       1},
      {"controller named with ESC and BEL",
       refused(RefusalCause::nobody_at_seat, 0, "E\x1b]2;x\x07!"),
       {"\"E\\x1b]2;x\\x07!\""},
       0},
      {"controller named with a C1 control and a stray byte",
       refused(RefusalCause::nobody_at_seat, 0,
               "C\xc2\x9b"
               "2J \xff \xe3\x83\x91\\"),
       {"\"C\\xc2\\x9b2J \\xff \xe3\x83\x91\\\\\""},
       0},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    c.say();
    const std::string said = testing::internal::GetCapturedStderr();
    for (const std::string& part : c.said) {
      EXPECT_NE(said.find(part), std::string::npos) << c.what << ": " << part << " is not in:\n"
                                                    << said;
    }
    EXPECT_EQ(said.rfind("keyconv_busy: cannot ", 0), 0u) << said;
    EXPECT_EQ(said.find("keyconv:"), std::string::npos) << said;
    EXPECT_EQ(said.find("sudo keyconv"), std::string::npos) << said;
    EXPECT_EQ(said.find("ATTRS{id/vendor}"), std::string::npos) << c.what << ": by vendor";
    EXPECT_EQ(said.find("usermod"), std::string::npos) << said;
    EXPECT_TRUE(terminal_safe(said)) << c.what;
    const std::vector<std::string> commands = command_lines(said);
    EXPECT_EQ(commands.size(), c.commands) << c.what << ":\n" << said;
    for (const std::string& command : commands) {
      EXPECT_EQ(command.find("keyconv_busy:"), std::string::npos) << command;
      EXPECT_TRUE(bash_parses(command)) << command;
      // Nothing overwrites a file but one of keyconv's own, with what it
      // holds: any other tee appends.
      if (const std::size_t tee = command.find("tee /"); tee != std::string::npos) {
        const std::string file = command.substr(tee + 4, command.find(' ', tee + 4) - tee - 4);
        EXPECT_NE(file.substr(file.rfind('/')).find("keyconv"), std::string::npos) << command;
      }
    }
    EXPECT_TRUE(run_as_pasted(commands, "/")) << said;
  }
}

// Why a controller is refused, as the machine tells: udev, logind's
// files of the seat (/run/systemd/seats/<seat>), who is active there.
TEST(UinputAdvice, TheCauseOfARefusalIsReadFromUdevAndLogind) {
  const InputTree tree;
  const fs::path run = tree.root / "run-systemd";
  const struct {
    const char* what;
    bool udev;
    const char* seat_file;  // nullptr: no seats folder, no logind
    RefusalCause cause;
    uid_t active;
  } cases[] = {
      {"no udev", false, "ACTIVE_UID=1000\n", RefusalCause::no_udev, 0},
      {"no logind", true, nullptr, RefusalCause::no_logind, 0},
      {"nobody at the seat", true, "IS_SEAT0=1\nCAN_GRAPHICAL=1\n", RefusalCause::nobody_at_seat,
       0},
      {"another user", true, "IS_SEAT0=1\nACTIVE=4\nACTIVE_UID=1001\n", RefusalCause::other_user,
       1001},
      {"this user", true, "ACTIVE=2\nACTIVE_UID=1000\nSESSIONS=2 5\n", RefusalCause::seat_user,
       1000},
  };
  for (const auto& c : cases) {
    fs::remove_all(run);
    if (c.seat_file != nullptr) write_file(run / "seats/seat0", c.seat_file);
    uid_t active = 0;
    EXPECT_EQ(refusal_cause(c.udev, run.c_str(), "seat0", 1000, active), c.cause) << c.what;
    EXPECT_EQ(active, c.active) << c.what;
  }
}

}  // namespace
