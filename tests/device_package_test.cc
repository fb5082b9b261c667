// The Debian package on a real kernel: installed with Debian's dpkg before
// uinput is loaded, its keyconv run, then purged. The VM's init runs this
// first, with the package in KEYCONV_DEB and the uinput module not loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "device_support.h"
#include "expected_text.h"

namespace {

namespace fs = std::filesystem;

// Every path on the machine's own file system, with its kind; dpkg's own
// records and log aside.
std::set<std::string> file_system() {
  const std::set<std::string> elsewhere = {"/proc", "/sys", "/dev",          "/run",
                                           "/tmp",  "/vm",  "/var/lib/dpkg", "/var/log"};
  std::set<std::string> paths;
  for (auto entry = fs::recursive_directory_iterator("/"); entry != fs::end(entry); ++entry) {
    const std::string path = entry->path().string();
    if (elsewhere.count(path) != 0) {
      entry.disable_recursion_pending();
      continue;
    }
    paths.insert(path + (entry->is_symlink() ? " (link)" : entry->is_directory() ? "/" : ""));
  }
  return paths;
}

int shell(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  return pclose(pipe);
}

TEST(DevicePackage, InstallsLoadsUinputRunsAndLeavesNothingWhenPurged) {
  const char* deb = std::getenv("KEYCONV_DEB");
  REQUIRE(deb != nullptr ? ""
                         : "installs a package: the VM runs it with the package in KEYCONV_DEB");
  ASSERT_NE(access("/dev/uinput", F_OK), 0) << "uinput was loaded before the package";
  const std::set<std::string> before = file_system();

  std::string said;
  // Debian's dpkg, not the shell's own; the guest's libraries are there, but not
  // registered with it.
  ASSERT_EQ(shell(std::string("/usr/bin/dpkg --force-depends --install ") + deb, said), 0) << said;
  EXPECT_EQ(access("/dev/uinput", F_OK), 0) << "the package did not load uinput:\n" << said;
  for (const char* installed :
       {"/usr/bin/keyconv", "/usr/bin/keyconv_busy",
        "/usr/lib/udev/rules.d/60-keyconv-uinput.rules", "/usr/lib/modules-load.d/keyconv.conf",
        "/usr/share/man/man1/keyconv.1.gz"}) {
    EXPECT_EQ(access(installed, F_OK), 0) << installed;
  }

  // The first run after the install converts.
  {
    OnePlayer player;
    ASSERT_TRUE(player.start({.program = "/usr/bin/keyconv"}));
    player.turn_up_and_end();
  }
  // Without udev here, the rule has not given the player /dev/uinput, and
  // cannot: the program, naming itself, says what does, with the command on
  // a line of its own.
  {
    ProgramRun run;
    ASSERT_TRUE(run.start({.program = "/usr/bin/keyconv_busy", .uid = PLAYER_UID}));
    EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::exited, 1}));
    for (const char* expected_line :
         {"keyconv_busy: cannot open /dev/uinput: Permission denied.",
          "\r\nkeyconv_busy: no udev runs here (a container, say), so no rule applies.",
          "\r\n  sudo chown player '/dev/uinput'\r\n"}) {
      EXPECT_NE(run.output.find(expected_line), std::string::npos) << expected_line << "\n"
                                                                   << run.output;
    }
  }

  ASSERT_EQ(shell("/usr/bin/dpkg --purge keyconv", said), 0) << said;
  const std::set<std::string> after = file_system();
  std::string left, gone;
  for (const std::string& path : after) {
    if (before.count(path) == 0) left += path + "\n";
  }
  for (const std::string& path : before) {
    if (after.count(path) == 0) gone += path + "\n";
  }
  EXPECT_EQ(left, "") << "left behind after the purge";
  EXPECT_EQ(gone, "") << "gone after the purge";
  for (const char* record : {"list", "md5sums", "postinst", "postrm"}) {
    const std::string path = std::string("/var/lib/dpkg/info/keyconv.") + record;
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path;
  }
}

}  // namespace
