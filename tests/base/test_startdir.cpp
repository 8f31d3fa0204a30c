// The start-directory rule on a temporary HOME: which directory a run uses,
// how the operator's directory is made and refreshed, and what is never
// touched.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/startdir.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Sets a file's modification time to `seconds` after the epoch.
void setAge(const std::string& path, long seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Shipped data as a build tree's run directory holds it: the shipped files,
// and files of earlier runs that are the operator's, not shipped.
void fillShipped(const TempDir& shipped, long age) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Message.C", "C1 中文\r\n"},         {"Message.E", "E1 English\r\n"},
      {"102ParK.txt", "shipped params\r\n"}, {"Q102Add.Ini", "shipped add\r\n"},
      {"Customer.ini", "Language = 1\r\nBaud rate = 4\r\n"},
      {"manual.pdf", "%PDF shipped"},        {"Init.Ini", "from a run\r\n"},
      {"Test.TXT", "a dump of a run\r\n"},   {"P07.nc", "a program of a run\r\n"}};
  for (const auto& [name, bytes] : files) {
    shipped.write(name, bytes);
    setAge(shipped.file(name), age);
  }
}

StartDirEnvironment environment(const TempDir& home, const std::string& cwd, const std::string& shipped) {
  StartDirEnvironment env;
  env.currentDir = cwd;
  env.home = home.dir();
  if (!shipped.empty()) env.shippedDirs = {"/nonexistent/qxr/share/", shipped};
  return env;
}

TEST(StartDirectory, ChoiceByCase) {
  struct Case {
    const char* what;
    bool explicitGiven;
    bool currentIsStartDir;
    const char* xdgDataHome;  // "" unset, "@" a directory in the temporary HOME, else as given
    bool shippedPresent;
    const char* expectedUnderHome;  // relative to HOME; "" = not under HOME
    bool created;
    bool problem;
  };
  const Case cases[] = {
      {"explicit directory wins", true, true, "", true, "", false, false},
      {"current directory with a catalogue", false, true, "", true, "", false, false},
      {"installed: default per-user directory", false, false, "", true, ".local/share/qxrtrans/", true, false},
      {"installed: XDG_DATA_HOME", false, false, "@", true, "xdg/qxrtrans/", true, false},
      {"relative XDG_DATA_HOME is ignored", false, false, "rel/data", true, ".local/share/qxrtrans/", true, false},
      {"no shipped data: made, but said so", false, false, "", false, ".local/share/qxrtrans/", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir home, cwd, shipped, chosen;
    fillShipped(shipped, 1000);
    if (c.currentIsStartDir) cwd.write("Message.E", "E1 x\r\n");
    chosen.write("message.c", "C1 x\r\n");  // any case of the name counts
    StartDirEnvironment env = environment(home, cwd.dir(), c.shippedPresent ? shipped.dir() : "");
    if (std::string(c.xdgDataHome) == "@")
      env.xdgDataHome = home.dir() + "xdg";
    else
      env.xdgDataHome = c.xdgDataHome;

    const StartDirChoice choice = chooseStartDirectory(c.explicitGiven ? chosen.dir() : "", env);
    if (c.explicitGiven)
      EXPECT_EQ(choice.dir, chosen.dir());
    else if (!*c.expectedUnderHome)
      EXPECT_EQ(choice.dir, cwd.dir());
    else
      EXPECT_EQ(choice.dir, home.dir() + c.expectedUnderHome);
    EXPECT_EQ(choice.created, c.created);
    EXPECT_EQ(!choice.problem.empty(), c.problem) << choice.problem;
    if (c.created && c.shippedPresent) {
      EXPECT_TRUE(isStartDirectory(choice.dir));
      EXPECT_TRUE(fs::exists(choice.dir + "manual.pdf"));
      EXPECT_TRUE(fs::exists(choice.dir + "Customer.ini"));
      // A run's settings and files are not shipped data.
      EXPECT_FALSE(fs::exists(choice.dir + "Init.Ini"));
      EXPECT_FALSE(fs::exists(choice.dir + "Test.TXT"));
      EXPECT_FALSE(fs::exists(choice.dir + "P07.nc"));
    }
  }
}

TEST(StartDirectory, ExplicitDirectoryProblemsAreReported) {
  TempDir home, cwd, empty;
  const StartDirEnvironment env = environment(home, cwd.dir(), "");
  EXPECT_NE(chooseStartDirectory(empty.dir(), env).problem, "");
  EXPECT_NE(chooseStartDirectory(empty.dir() + "missing", env).problem, "");
  EXPECT_FALSE(fs::exists(home.dir() + ".local"));  // an explicit choice makes nothing
}

TEST(StartDirectory, UnusableHomeFallsBackToTheShippedData) {
  TempDir home, cwd, shipped;
  fillShipped(shipped, 1000);
  home.write("blocker", "");
  StartDirEnvironment env = environment(home, cwd.dir(), shipped.dir());
  env.home = home.dir() + "blocker";  // a file: nothing can be made below it
  const StartDirChoice choice = chooseStartDirectory("", env);
  EXPECT_EQ(choice.dir, shipped.dir());
  EXPECT_NE(choice.problem, "");
}

// A second start after an installation: which files of the operator's
// directory follow the new shipped ones and which stay.
TEST(StartDirectory, RefreshKeepsTheOperatorsFiles) {
  struct Case {
    const char* name;
    const char* before;  // content in the operator's directory; nullptr = missing
    long age;            // its modification time (the shipped files are 2000)
    const char* after;   // expected content; nullptr = still missing
  };
  const Case cases[] = {
      {"Message.C", "old catalogue\r\n", 1000, "C1 中文\r\n"},         // older: refreshed
      {"Message.E", "same install\r\n", 2000, "same install\r\n"},    // as old: left
      {"102ParK.txt", nullptr, 0, "shipped params\r\n"},              // new file: copied
      {"Q102Add.Ini", "old add\r\n", 1000, "shipped add\r\n"},
      {"manual.pdf", "%PDF old", 1000, "%PDF shipped"},
      {"Customer.ini", "Language = 0\r\n", 1000, "Language = 0\r\n"},  // the operator's settings
      {"Init.Ini", "Time Out Timer    = 900\r\n", 1000, "Time Out Timer    = 900\r\n"},
      {"P07.nc", "my program\r\n", 1000, "my program\r\n"},           // the operator's own file
      {"Test.TXT", nullptr, 0, nullptr},                              // a run's file is not shipped
  };
  TempDir home, cwd, shipped;
  fillShipped(shipped, 2000);
  const std::string user = home.dir() + ".local/share/qxrtrans/";
  fs::create_directories(user);
  for (const Case& c : cases) {
    if (!c.before) continue;
    std::ofstream(user + c.name, std::ios::binary) << c.before;
    setAge(user + c.name, c.age);
  }
  const StartDirChoice choice = chooseStartDirectory("", environment(home, cwd.dir(), shipped.dir()));
  ASSERT_EQ(choice.dir, user);
  EXPECT_FALSE(choice.created);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.after) {
      EXPECT_FALSE(fs::exists(user + c.name));
      continue;
    }
    std::ifstream in(user + c.name, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, c.after);
  }
  // Nothing changed since: the next start copies nothing.
  EXPECT_TRUE(chooseStartDirectory("", environment(home, cwd.dir(), shipped.dir())).copied.empty());
}

TEST(StartDirectory, AbsoluteDirectory) {
  EXPECT_EQ(absoluteDirectory("/a/b"), "/a/b/");
  EXPECT_EQ(absoluteDirectory("/a/b/"), "/a/b/");
  const std::string cwd = absoluteDirectory("");
  ASSERT_EQ(cwd.back(), '/');
  EXPECT_EQ(absoluteDirectory("./sub"), cwd + "sub/");
  EXPECT_EQ(absoluteDirectory("."), cwd);
}

}  // namespace
}  // namespace qxr
