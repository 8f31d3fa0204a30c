#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/fileio.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

std::size_t entriesIn(const TempDir& dir) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.dir())) ++count;
  return count;
}

// What a target looks like before a save, and what the save must leave.
struct SaveCase {
  const char* what;
  void (*prepare)(const TempDir&);  // makes "t" (and whatever it needs)
  FileError expected;
  const char* contentAfter;         // of "t", read through any link
  mode_t modeAfter;                 // 0: not checked
};

const SaveCase kSaveCases[] = {
    {"a new file", [](const TempDir&) {}, FileError::kNone, "new", 0},
    {"an owner-only file keeps its mode",
     [](const TempDir& d) { d.write("t", "old"); ::chmod(d.file("t").c_str(), 0600); },
     FileError::kNone, "new", 0600},
    {"an executable file keeps its mode",
     [](const TempDir& d) { d.write("t", "old"); ::chmod(d.file("t").c_str(), 0750); },
     FileError::kNone, "new", 0750},
    {"a read-only file is left alone",
     [](const TempDir& d) { d.write("t", "old"); ::chmod(d.file("t").c_str(), 0444); },
     FileError::kReadOnly, "old", 0444},
    {"a directory is no file",
     [](const TempDir& d) { std::filesystem::create_directory(d.file("t")); },
     FileError::kNotRegular, nullptr, 0},
    {"a link is written through",
     [](const TempDir& d) {
       d.write("real", "old");
       ::chmod(d.file("real").c_str(), 0640);
       ::symlink("real", d.file("t").c_str());
     },
     FileError::kNone, "new", 0640},
    {"a dangling link creates its target",
     [](const TempDir& d) { ::symlink("later", d.file("t").c_str()); }, FileError::kNone, "new", 0},
};

TEST(SaveFile, KeepsWhatTheTargetIsAndNeverLeavesDebris) {
  for (const SaveCase& c : kSaveCases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    c.prepare(dir);
    const std::size_t before = entriesIn(dir);
    const bool wasLink = std::filesystem::is_symlink(dir.file("t"));
    // The check made before a transfer foresees the save.
    EXPECT_EQ(checkSaveTarget(dir.file("t")), c.expected);
    EXPECT_EQ(saveFile(dir.file("t"), "new"), c.expected);
    if (c.contentAfter) {
      EXPECT_EQ(dir.read("t"), c.contentAfter);
    }
    if (c.modeAfter) {
      EXPECT_EQ(modeOf(dir.file("t")), c.modeAfter);
    }
    EXPECT_EQ(std::filesystem::is_symlink(dir.file("t")), wasLink);
    // Only a new file or a dangling link's target is added; no temporary file stays.
    EXPECT_LE(entriesIn(dir), before + 1);
  }
}

TEST(SaveFile, NameNearTheFileSystemLimit) {
  TempDir dir;
  const std::string name(250, 'n');
  EXPECT_EQ(saveFile(dir.file(name), "x"), FileError::kNone);
  EXPECT_EQ(dir.read(name), "x");
  EXPECT_EQ(saveFile(dir.file("missing/dir/t"), "x"), FileError::kNotFound);
  EXPECT_EQ(checkSaveTarget(dir.file("missing/dir/t")), FileError::kNotFound);
}

TEST(CheckOutputDirectory, OnlyAnExistingDirectory) {
  TempDir dir;
  dir.write("file", "x");
  std::filesystem::create_directory(dir.file("sub"));
  ::symlink("sub", dir.file("link").c_str());
  const struct {
    std::string path;
    FileError expected;
  } cases[] = {
      {dir.dir(), FileError::kNone},
      {dir.file("sub"), FileError::kNone},
      {dir.file("link"), FileError::kNone},
      {dir.file("file"), FileError::kNotDirectory},
      {dir.file("absent"), FileError::kNotFound},
      {dir.file("file/below"), FileError::kNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(checkOutputDirectory(c.path), c.expected) << c.path;
  EXPECT_EQ(checkSaveTarget(dir.file("file/t")), FileError::kNotFound);
}

TEST(ReadFileChecked, OnlyRegularFilesWithinTheirBound) {
  TempDir dir;
  dir.write("small", "abc");
  dir.write("big", std::string(101, 'x'));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("sub"));
  ::symlink("small", dir.file("link").c_str());

  const struct {
    std::string path;
    FileError expected;
    const char* bytes;
  } cases[] = {
      {dir.file("small"), FileError::kNone, "abc"},
      {dir.file("link"), FileError::kNone, "abc"},
      {dir.file("big"), FileError::kTooLarge, ""},
      {dir.file("fifo"), FileError::kNotRegular, ""},  // a FIFO without writer must not block
      {dir.file("sub"), FileError::kNotRegular, ""},
      {"/dev/zero", FileError::kNotRegular, ""},
      {dir.file("absent"), FileError::kNotFound, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string bytes = "stale";
    EXPECT_EQ(readFileChecked(c.path, 100, bytes), c.expected);
    EXPECT_EQ(bytes, c.bytes);
  }
  // Files under /proc say they are empty and are not.
  std::string bytes;
  EXPECT_EQ(readFileChecked("/proc/self/status", 100000, bytes), FileError::kNone);
  EXPECT_FALSE(bytes.empty());
  EXPECT_EQ(readFileChecked("/proc/self/status", 10, bytes), FileError::kTooLarge);
}

TEST(FileErrorText, NamesThePathInBothLanguages) {
  for (int language : {0, 1}) {
    for (FileError e : {FileError::kNotFound, FileError::kNotRegular, FileError::kNotDirectory, FileError::kTooLarge,
                        FileError::kNoPermission,
                        FileError::kReadOnly, FileError::kNoSpace, FileError::kFailed}) {
      const std::string text = fileErrorText(language, e, "/x/p.nc", 4096);
      EXPECT_NE(text.find("/x/p.nc"), std::string::npos) << text;
    }
  }
  EXPECT_NE(fileErrorText(1, FileError::kTooLarge, "f", 4096).find("4096"), std::string::npos);
  EXPECT_EQ(fileErrorText(1, FileError::kNone, "f"), "");
}

}  // namespace
}  // namespace qxr
