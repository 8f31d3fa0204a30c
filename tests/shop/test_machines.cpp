// The machine file as a person writes it: which entries load, which lines are
// named as bad, and edits that leave the rest of the file as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shop/machines.h"
#include "shop/recentfiles.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

struct FileCase {
  const char* label;
  const char* text;
  std::vector<std::string> loaded;                          // machine names, in order
  std::vector<std::pair<int, MachineProblemKind>> problems;  // line, kind
};

TEST(MachineFile, LoadsGoodEntriesAndNamesEachBadLine) {
  using K = MachineProblemKind;
  const std::vector<FileCase> cases = {
      {"empty", "", {}, {}},
      {"one machine, CR LF, comments", "# shop\r\n; x\r\n[Mill]\r\nmodel=QXR102\r\nport=COM3\r\n", {"Mill"}, {}},
      {"all keys", "[A]\nmodel=QXR300\nversion=SD\nport=/dev/ttyUSB0\nbaud=19200\ntimeout=3000\nmode=block\npacing=0\nfolder=/srv/a b\n", {"A"}, {}},
      {"bad model skips that machine only", "[A]\nmodel=QXR999\nport=COM1\n[B]\nmodel=QXR102\nport=COM2\n", {"B"}, {{2, K::kBadValue}}},
      {"bad speed", "[A]\nmodel=QXR102\nport=COM1\nbaud=9601\n", {}, {{4, K::kBadValue}}},
      {"COM out of range", "[A]\nmodel=QXR102\nport=COM100\n", {}, {{3, K::kBadValue}}},
      {"network port without a port number", "[A]\nmodel=QXR102\nport=tcp://box\n", {}, {{3, K::kBadValue}}},
      {"relative device path", "[A]\nmodel=QXR102\nport=ttyUSB0\n", {}, {{3, K::kBadValue}}},
      {"mode", "[A]\nmodel=QXR102\nport=COM1\nmode=fast\n", {}, {{4, K::kBadValue}}},
      {"negative pacing", "[A]\nmodel=QXR102\nport=COM1\npacing=-1\n", {}, {{4, K::kBadValue}}},
      {"timeout with text", "[A]\nmodel=QXR102\nport=COM1\ntimeout=10s\n", {}, {{4, K::kBadValue}}},
      {"unknown key", "[A]\nmodel=QXR102\nport=COM1\ncolour=red\n", {}, {{4, K::kUnknownKey}}},
      {"no port", "[A]\nmodel=QXR102\n", {}, {{1, K::kMissingKey}}},
      {"no model", "\n[A]\nport=COM1\n", {}, {{2, K::kMissingKey}}},
      {"blanks around keys and values", "  [ Lathe 3 ]  \n\tmodel =  QXR302 \nport\t= COM2\n", {"Lathe 3"}, {}},
      {"junk line", "[A]\nmodel=QXR102\nport=COM1\njunk\n[B]\nmodel=QXR102\nport=COM2\n", {"B"}, {{4, K::kBadLine}}},
      {"key before any section", "model=QXR102\n[B]\nmodel=QXR102\nport=COM2\n", {"B"}, {{1, K::kOutsideSection}}},
      {"duplicate name, case ignored", "[A]\nmodel=QXR102\nport=COM1\n[a]\nmodel=QXR102\nport=COM2\n", {"A"}, {{4, K::kDuplicateName}}},
      {"empty name", "[ ]\nmodel=QXR102\nport=COM1\n", {}, {{1, K::kBadName}}},
      {"unclosed header", "[A\nmodel=QXR102\nport=COM1\n", {}, {{1, K::kBadName}}},
      {"reserved name shop holds settings", "[shop]\njournal=/srv/j.db\ncolour=1\n", {}, {{3, K::kUnknownKey}}},
      {"control byte in a folder", "[A]\nmodel=QXR102\nport=COM1\nfolder=a\x01" "b\n", {}, {{4, K::kBadValue}}},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.label);
    const MachineFile file = MachineFile::parse(c.text);
    std::vector<std::string> names;
    for (const Machine& m : file.machines()) names.push_back(m.name);
    EXPECT_EQ(names, c.loaded);
    std::vector<std::pair<int, MachineProblemKind>> problems;
    for (const MachineProblem& p : file.problems()) problems.emplace_back(p.line, p.kind);
    EXPECT_EQ(problems, c.problems);
    for (const MachineProblem& p : file.problems()) {
      // Every problem names its line in both languages.
      EXPECT_NE(machineProblemText(1, p).find("line " + std::to_string(p.line)), std::string::npos);
      EXPECT_NE(machineProblemText(0, p).find(std::to_string(p.line)), std::string::npos);
    }
  }
}

TEST(MachineFile, ValuesAndTheirEffectOnARun) {
  const MachineFile file = MachineFile::parse(
      "[shop]\njournal = shared/journal.db\n"
      "[Lathe 3]\nmodel=qxr302\nversion=m\nport=rfc2217://box:2003\nbaud=4800\ntimeout=2500\nmode=block\npacing=3\n"
      "[Old]\nmodel=QXR200\nport=COM12\n");
  ASSERT_EQ(file.machines().size(), 2u);
  EXPECT_EQ(file.journalPath(), "shared/journal.db");
  const Machine* lathe = file.find("LATHE 3");
  ASSERT_NE(lathe, nullptr);
  EXPECT_EQ(lathe->generation(), kGenerationX02);
  Session session;
  applyMachine(*lathe, session);
  EXPECT_EQ(session.modelIndex, 2);
  EXPECT_EQ(session.versionIndex, 2);
  EXPECT_EQ(session.settings.baudRate(), 4800);
  EXPECT_EQ(session.settings.timeoutMs, 2500);
  EXPECT_TRUE(session.settings.blockMode());
  EXPECT_EQ(session.settings.bytePacingMs, 3);
  EXPECT_EQ(machinePortIndex(*lathe), std::nullopt);
  EXPECT_EQ(machineNamedPort(*lathe), "rfc2217://box:2003");
  const Machine* old = file.find("Old");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->generation(), kGenerationX00);
  EXPECT_EQ(machinePortIndex(*old), 11);
  EXPECT_EQ(machineNamedPort(*old), "");
}

TEST(MachineFile, EditsChangeOnlyTheirSectionAndRoundTrip) {
  const std::string text =
      "# the shop floor\n[A]\nmodel=QXR102\nport=COM1\n# A is by the door\n\n"
      "[Broken]\nmodel=QXR999\nport=COM2\n\n[C]\nmodel=QXR300\nport=COM3\n";
  MachineFile file = MachineFile::parse(text);
  Machine b;
  b.name = "New";
  b.modelIndex = 2;
  b.versionIndex = 0;
  b.port = "tcp://10.0.0.5:4001";
  b.folder = "/srv/programs";
  file.put(b);
  Machine c = *file.find("C");
  c.baud = 19200;
  file.put(c);
  EXPECT_TRUE(file.remove("a"));
  EXPECT_FALSE(file.remove("nobody"));
  const std::string edited = file.text();
  // Comments and the entry that could not be read stay as they were written.
  EXPECT_NE(edited.find("# the shop floor\n"), std::string::npos);
  EXPECT_NE(edited.find("[Broken]\nmodel=QXR999\n"), std::string::npos);
  EXPECT_EQ(edited.find("[A]"), std::string::npos);
  const MachineFile again = MachineFile::parse(edited);
  ASSERT_EQ(again.machines().size(), 2u);
  EXPECT_EQ(*again.find("New"), b);
  EXPECT_EQ(*again.find("C"), c);
  ASSERT_EQ(again.problems().size(), 1u);
}

TEST(MachineFile, SavedThroughTheStartDirectory) {
  test::TempDir dir;
  FileError error = FileError::kFailed;
  EXPECT_TRUE(MachineFile::load(dir.dir(), &error).machines().empty());
  EXPECT_EQ(error, FileError::kNone);  // no file yet: no machines, no error
  MachineFile file;
  Machine m;
  m.name = "Lathe 3";
  m.port = "COM2";
  file.put(m);
  ASSERT_EQ(file.save(dir.dir()), FileError::kNone);
  EXPECT_EQ(MachineFile::load(dir.dir()).machines().front(), m);
}

TEST(RecentFiles, KeptPerPageNewestFirstWithinTheLimit) {
  test::TempDir dir;
  const std::string path = dir.file("state/qxrtrans/recent.txt");
  RecentFiles recent(3);
  for (const char* file : {"/a.nc", "/b.nc", "/c.nc", "/a.nc", "/d.nc"}) recent.note(0, file);
  recent.note(2, "/x.pmc");
  recent.note(1, "/bad\npath.par");  // could not be read back as one entry
  recent.note(7, "/nowhere");
  ASSERT_EQ(recent.save(path), FileError::kNone);  // the state directory is made
  RecentFiles loaded(3);
  loaded.load(path);
  EXPECT_EQ(loaded.files(0), (std::vector<std::string>{"/d.nc", "/a.nc", "/c.nc"}));
  EXPECT_TRUE(loaded.files(1).empty());
  EXPECT_EQ(loaded.files(2), (std::vector<std::string>{"/x.pmc"}));
  // A file edited by hand: unknown pages, lines without a tab and repeats are dropped.
  dir.write("r.txt", "program\t/1.nc\nbogus\t/2.nc\nno tab\nprogram\t/1.nc\nplc\t/p.pmc\r\n");
  loaded.load(dir.file("r.txt"));
  EXPECT_EQ(loaded.files(0), (std::vector<std::string>{"/1.nc"}));
  EXPECT_EQ(loaded.files(2), (std::vector<std::string>{"/p.pmc"}));
}

}  // namespace
}  // namespace qxr
