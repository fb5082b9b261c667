// What the virtual keyboard says when /dev/uinput is missing or denied, as
// fits the way the program came: a package, the tarball, the sources.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

TEST(UinputKeyboard, DeniedDeviceNamesTheUdevRuleAndNeverRoot) {
  const InputTree tree;
  const std::string denied = tree.dev + "/uinput";
  if (!make_denied_file(denied, O_RDWR))
    GTEST_SKIP() << "no file here refuses this user with EACCES";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(uinput_keyboard::open_keyboard(denied.c_str()));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
  EXPECT_NE(said.find("60-keyconv-uinput.rules"), std::string::npos) << said;
  EXPECT_NE(said.find("udevadm"), std::string::npos) << said;
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
      {"home/player/keyconv", InstalledBy::unknown, ""},
  };
  for (const auto& c : cases) {
    const Installation found = installation_of((root / c.program).c_str(), (root / "usr").c_str());
    EXPECT_EQ(found.by, c.by) << c.program;
    EXPECT_EQ(found.folder, *c.folder != '\0' ? (root / c.folder).string() : "") << c.program;
  }
}

// The advice fits how the program came. Each message's first line names
// the program; the commands stand on lines of their own, and pasted as
// printed, with the folder's name quoted whatever it holds, they run and
// find the files they install. The tarball's lines are the README's own.
TEST(UinputAdvice, EachWayOfInstallingGetsItsOwnFixThatPastes) {
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
  for (const char* file :
       {"lib/udev/rules.d/60-keyconv-uinput.rules", "lib/modules-load.d/keyconv.conf",
        "packaging/60-keyconv-uinput.rules", "packaging/keyconv-modules-load.conf"}) {
    write_file(fs::path(folder) / file, "");
  }
  // As a shell takes it back: '<root>/it'\''s a $HOME folder'.
  std::string quoted = tree.root.string();
  quoted.insert(0, 1, '\'').append("/it'\\''s a $HOME folder'");
  const struct {
    InstalledBy by;
    int error;
    std::vector<std::string> said;
  } cases[] = {
      {InstalledBy::package, ENOENT, {"  sudo modprobe uinput", "package has it loaded"}},
      {InstalledBy::package, EACCES, {"log in at the machine itself again", "udevadm trigger"}},
      {InstalledBy::tarball, ENOENT, {"  cd " + quoted, tarball_lines[0], tarball_lines[1]}},
      {InstalledBy::tarball, EACCES, {"  cd " + quoted, tarball_lines[0], tarball_lines[1]}},
      {InstalledBy::sources,
       ENOENT,
       {"  sudo modprobe uinput", quoted + "/packaging/keyconv-modules-load.conf"}},
      {InstalledBy::sources, EACCES, {quoted + "/packaging/60-keyconv-uinput.rules"}},
      {InstalledBy::unknown,
       ENOENT,
       {"  sudo modprobe uinput", "/etc/modules-load.d/keyconv.conf"}},
      {InstalledBy::unknown, EACCES, {"60-keyconv-uinput.rules", "udevadm trigger"}},
  };
  for (const auto& c : cases) {
    Installation installation = {c.by, ""};
    std::snprintf(installation.folder, sizeof installation.folder, "%s", folder.c_str());
    testing::internal::CaptureStderr();
    explain_uinput_failure("keyconv_busy", "/dev/uinput", c.error, "open", installation);
    const std::string said = testing::internal::GetCapturedStderr();
    for (const std::string& part : c.said) {
      EXPECT_NE(said.find(part), std::string::npos) << part << " is not in:\n" << said;
    }
    EXPECT_EQ(said.rfind("keyconv_busy: cannot open /dev/uinput", 0), 0u) << said;
    EXPECT_EQ(said.find("keyconv:"), std::string::npos) << said;
    EXPECT_EQ(said.find("sudo keyconv"), std::string::npos) << said;
    const std::vector<std::string> commands = command_lines(said);
    EXPECT_FALSE(commands.empty()) << said;
    for (const std::string& command : commands) {
      EXPECT_EQ(command.find("keyconv_busy:"), std::string::npos) << command;
      EXPECT_TRUE(bash_parses(command)) << command;
    }
    EXPECT_TRUE(run_as_pasted(commands, "/")) << said;
  }
}

}  // namespace
