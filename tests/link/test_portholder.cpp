// Why a local port does not open, and who holds a busy one.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "link/comm.h"
#include "link/portholder.h"
#include "support/ptypeer.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;

std::string ownProgram() {
  FILE* in = std::fopen("/proc/self/comm", "r");
  char name[64] = {};
  if (in) {
    if (!std::fgets(name, sizeof name, in)) name[0] = '\0';
    std::fclose(in);
  }
  std::string text = name;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// Permission cannot be refused to root, so the classes of open()'s errors
// are checked as they are; each class has its own text in both languages.
TEST(PortFailure, ErrorsFallIntoClassesWithTheirTexts) {
  struct Case {
    int error;
    PortFailure failure;
    const char* english;
    const char* chinese;
  } cases[] = {
      {ENOENT, PortFailure::kNotFound, "not found: no such device", "找不到"},
      {ENOTDIR, PortFailure::kNotFound, "not found", "找不到"},
      {ENXIO, PortFailure::kNoHardware, "no hardware", "沒有硬體"},
      {EIO, PortFailure::kNoHardware, "no hardware", "沒有硬體"},
      {EACCES, PortFailure::kNoPermission, "sudo usermod -aG dialout $USER), then log in again", "dialout"},
      {EPERM, PortFailure::kNoPermission, "no permission", "沒有權限"},
      {EBUSY, PortFailure::kHeld, "held by another program", "被其他程式佔用"},
      {EWOULDBLOCK, PortFailure::kHeld, "held by another program", "被其他程式佔用"},
      {EISDIR, PortFailure::kNotDevice, "not a serial device", "不是串列埠裝置"},
      {EINVAL, PortFailure::kOther, "Invalid argument", "Invalid argument"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(portFailureForError(c.error), c.failure);
    PortOpenFailure failure;
    failure.failure = c.failure;
    failure.error = c.error;
    EXPECT_NE(portFailureText(1, failure).find(c.english), std::string::npos) << portFailureText(1, failure);
    EXPECT_NE(portFailureText(0, failure).find(c.chinese), std::string::npos) << portFailureText(0, failure);
  }
  EXPECT_EQ(portFailureText(1, {}), "");
}

// A fake /proc: processes 100 and 200 hold descriptors, a locks file may
// name the one holding the lock.
TEST(PortHolders, FoundByLockFirstThenByDescriptor) {
  test::TempDir dir;
  const std::string device = dir.file("tty");
  const std::string other = dir.file("other");
  dir.write("tty", "");
  dir.write("other", "");
  const std::string proc = dir.file("proc");
  for (const char* pid : {"100", "200", "300"}) fs::create_directories(proc + "/" + pid + "/fd");
  fs::create_symlink(device, proc + "/100/fd/3");
  fs::create_symlink("socket:[77]", proc + "/100/fd/4");
  fs::create_symlink(other, proc + "/200/fd/3");
  fs::create_symlink(device, proc + "/300/fd/9");
  dir.write("proc/100/comm", "qxremu\n");
  dir.write("proc/200/comm", "editor\n");
  fs::create_directories(proc + "/self");  // not a process number
  struct stat info {};
  ASSERT_EQ(::stat(device.c_str(), &info), 0);
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%lu", ::major(info.st_dev), ::minor(info.st_dev),
                static_cast<unsigned long>(info.st_ino));

  struct Case {
    std::string locks;  // empty: no locks file
    std::vector<long> pids;
    std::vector<std::string> programs;
  } cases[] = {
      {"", {100, 300}, {"qxremu", ""}},
      {"1: POSIX  ADVISORY  WRITE 200 " + std::string(id) + " 0 EOF\n", {100, 300}, {"qxremu", ""}},
      {"1: FLOCK  ADVISORY  WRITE 200 00:00:1 0 EOF\n2: FLOCK  ADVISORY  WRITE 300 " + std::string(id) +
           " 0 EOF\n2: -> FLOCK  ADVISORY  WRITE 100 " + std::string(id) + " 0 EOF\n",
       {300}, {""}},
      {"1: FLOCK  ADVISORY  WRITE 200 " + std::string(id) + " 0 EOF\n", {200}, {"editor"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locks);
    fs::remove(proc + "/locks");
    if (!c.locks.empty()) dir.write("proc/locks", c.locks);
    std::vector<PortHolder> holders = findPortHolders(device, proc);
    std::sort(holders.begin(), holders.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    ASSERT_EQ(holders.size(), c.pids.size());
    for (std::size_t i = 0; i < holders.size(); ++i) {
      EXPECT_EQ(holders[i].pid, c.pids[i]);
      EXPECT_EQ(holders[i].program, c.programs[i]);
    }
  }
  EXPECT_TRUE(findPortHolders(dir.file("missing"), proc).empty());
  EXPECT_TRUE(findPortHolders(device, dir.file("noproc")).empty());
}

// What a port of the port directory that does not open says, and which
// device it names.
TEST(PortFailure, OpenNamesTheDeviceAndTheReason) {
  test::TempDir dir;
  dir.write("plain", "G00\n");
  fs::create_directories(dir.file("folder"));
  struct Case {
    const char* name;
    std::function<void(const std::string& link)> make;
    std::string device;
    const char* reason;
  } cases[] = {
      {"COM1", [&](const std::string& l) { fs::create_symlink(dir.file("unplugged"), l); }, dir.file("unplugged"),
       "not found: the port's link points to a path that does not exist"},
      {"COM2", [&](const std::string& l) { fs::create_symlink(dir.file("plain"), l); }, dir.file("plain"),
       "not a serial device: a regular file"},
      {"COM3", [](const std::string& l) { fs::create_symlink("/dev/null", l); }, "/dev/null",
       "not a serial device: a character device that is not a terminal"},
      {"COM4", [&](const std::string& l) { fs::create_symlink(dir.file("folder"), l); }, dir.file("folder"),
       "not a serial device"},
      {"", nullptr, dir.file("nothing"), "not found: no such device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    TThreadComm port;
    port.SetPortDirectory(dir.dir());
    if (c.make) {
      c.make(dir.file(c.name));
      port.SetDeviceName(c.name);
    } else {
      port.SetDeviceName(c.device);
    }
    port.Open();
    EXPECT_FALSE(port.Enabled());
    EXPECT_EQ(port.OpenFailureDevice(), fs::weakly_canonical(c.device).string());
    EXPECT_EQ(port.OpenFailureText(1), c.reason);
    EXPECT_FALSE(port.OpenFailureText(0).empty());
  }
}

// A device the user may not open: made real by a child that gives up root
// (skipped when the tests do not run as root).
TEST(PortFailure, NoPermissionGivesTheDialoutAdvice) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to take another user's rights";
  test::TempDir dir;
  dir.write("ttyLocked", "");
  ::chmod(dir.dir().c_str(), 0755);
  ::chmod(dir.file("ttyLocked").c_str(), 0600);
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string text = "setuid failed";
    if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
      TThreadComm port;
      port.SetDeviceName(dir.file("ttyLocked"));
      port.Open();
      text = port.OpenFailureDevice() + "|" + port.OpenFailureText(1);
    }
    ::write(pipe[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(pipe[1]);
  std::string got;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(got, dir.file("ttyLocked") +
                     "|no permission: add your user to the dialout group (sudo usermod -aG dialout $USER), then "
                     "log in again");
}

// A pseudo-terminal held open by a port of this process, or locked by a
// child: the second opening names the holder.
TEST(PortFailure, HeldPortNamesItsHolder) {
  test::TempDir dir;
  test::PtyPair pty;
  fs::create_symlink(pty.slavePath(), dir.file("COM2"));
  const auto tryOpen = [&] {
    TThreadComm port;
    port.SetPortDirectory(dir.dir());
    port.SetDeviceName("COM2");
    port.Open();
    EXPECT_FALSE(port.Enabled());
    EXPECT_EQ(port.OpenFailureDevice(), pty.slavePath());
    return port.OpenFailureText(1);
  };
  {
    TThreadComm holder;
    holder.SetPortDirectory(dir.dir());
    holder.SetDeviceName("COM2");
    holder.Open();
    ASSERT_TRUE(holder.Enabled());
    EXPECT_EQ(tryOpen(),
              "held by another program: " + ownProgram() + " (process " + std::to_string(::getpid()) + ")");
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ::flock(fd, LOCK_EX);
    char byte = 1;
    ::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(tryOpen(), "held by another program: " + ownProgram() + " (process " + std::to_string(child) + ")");
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace qxr
