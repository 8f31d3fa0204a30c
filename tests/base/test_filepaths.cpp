// The file windows' path rules.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/filepaths.h"
#include "base/host.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

TEST(FilePaths, TypedNameGetsTheFilterExtensionUnlessItHasOne) {
  // Program page, "NCD files" chosen.
  ProducedPath p = produceOpenPath("/work/nc/", "PART1", kProgramPage, 1);
  EXPECT_EQ(p.path, "/work/nc/PART1.ncd");
  EXPECT_EQ(p.rememberedName, "PART1");
  p = produceOpenPath("/work/nc", "PART1.TXT", kProgramPage, 1);
  EXPECT_EQ(p.path, "/work/nc/PART1.TXT");
  EXPECT_EQ(p.rememberedName, "PART1");
  // The first "." decides: "A.B.C" has an extension and is remembered as "A".
  p = produceOpenPath("/d/", "A.B.C", kPlcPage, 0);
  EXPECT_EQ(p.path, "/d/A.B.C");
  EXPECT_EQ(p.rememberedName, "A");
  // The initial "*.*" names no file; the caller's open then fails.
  EXPECT_EQ(produceOpenPath("/d/", "*.*", kProgramPage, 0).path, "/d/*.*");
  // An absolute name is taken as it stands.
  EXPECT_EQ(produceOpenPath("/d/", "/tmp/X", kParameterPage, 0).path, "/tmp/X.par");
}

TEST(FilePaths, SaveRemembersTheExtensionAndAnEmptyNameChoosesNothing) {
  const auto saved = produceSavePath("/d/", "PART2.NC", kProgramPage, 0);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->path, "/d/PART2.NC");
  EXPECT_EQ(saved->rememberedName, "PART2.NC");
  const auto plain = produceSavePath("/d/", "PART1", kPlcPage, 1);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->path, "/d/PART1.mcn");
  EXPECT_EQ(plain->rememberedName, "PART1");
  EXPECT_FALSE(produceSavePath("/d/", "", kProgramPage, 0));
}

TEST(FilePaths, FiltersAndExtensionsFollowPageAndWindow) {
  auto patterns = [](int page, bool save) {
    std::string all;
    for (const FileFilterEntry& e : parseFileFilter(fileFilterText(page, save))) all += e.pattern + " ";
    return all;
  };
  EXPECT_EQ(patterns(kProgramPage, false), "*.nc *.ncd *.* ");
  EXPECT_EQ(patterns(kParameterPage, true), "*.par *.* ");
  // PLM files are offered only for opening.
  EXPECT_EQ(patterns(kPlcPage, false), "*.pmc *.plm *.mcn *.* ");
  EXPECT_EQ(patterns(kPlcPage, true), "*.pmc *.mcn *.* ");
  EXPECT_EQ(parseFileFilter(fileFilterText(kPlcPage, false))[1].description, "PLM files");

  const char* openPlc[] = {".pmc", ".plm", ".mcn", ".pmc"};
  const char* savePlc[] = {".pmc", ".mcn", ".pmc"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(defaultExtension(kPlcPage, false, i), openPlc[i]) << i;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(defaultExtension(kPlcPage, true, i), savePlc[i]) << i;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(defaultExtension(kProgramPage, i % 2, i), i == 1 ? ".ncd" : ".nc");
  EXPECT_EQ(defaultExtension(kParameterPage, false, 1), ".par");
}

TEST(FilePaths, NewDirectoryIsMadeOnceAndFailuresAreReported) {
  test::TempDir dir;
  const auto made = makeNewDirectory(dir.dir(), "JOB1");
  ASSERT_TRUE(made);
  EXPECT_EQ(*made, dir.file("JOB1"));
  EXPECT_TRUE(std::filesystem::is_directory(*made));
  EXPECT_FALSE(makeNewDirectory(dir.dir(), "JOB1"));       // exists already
  EXPECT_FALSE(makeNewDirectory(dir.dir(), ""));           // no name
  EXPECT_FALSE(makeNewDirectory(dir.dir(), "NO/SUCH/X"));  // missing parents
  dir.write("FILE", "x");
  EXPECT_FALSE(makeNewDirectory(dir.dir(), "FILE"));  // a file of that name
}

}  // namespace
}  // namespace qxr
