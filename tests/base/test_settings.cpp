#include <gtest/gtest.h>

#include "base/session.h"
#include "base/settings.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

TEST(InitIni, MissingFileKeepsDefaults) {
  TempDir dir;
  const Settings s = loadSettings(dir.dir());
  EXPECT_EQ(s.timeoutMs, 1000);
  EXPECT_EQ(s.bytePacingMs, 10);
  EXPECT_FALSE(s.blockMode());
  EXPECT_FALSE(s.receiveTrace);
  EXPECT_FALSE(s.sendTrace);
  EXPECT_EQ(s.portCount, 8);
  EXPECT_EQ(s.defaultPortIndex, 1);
  EXPECT_EQ(s.plcTransferDelayMs, 50);
  EXPECT_EQ(s.language, 0);
  EXPECT_EQ(s.baudIndex, 4);
  EXPECT_EQ(s.baudRate(), 9600);
}

TEST(InitIni, ReadsEachLineByPositionAndClamps) {
  TempDir dir;
  // Names before "=" play no part; line k is setting k.
  dir.write("Init.ini",
            "whatever = 2500\r\n"
            "x=3\r\n"
            "System parameter  = 1,0,0\r\n"
            "Transit mode      = 1\r\n"
            "Default COM       = 8\r\n"
            "PLC Transit Delay = 80\r\n"
            "MAX COM Port      = 120\r\n"
            "System parameter 2= 1\r\n"
            "System parameter 3= 7\r\n");
  const Settings s = loadSettings(dir.dir());
  EXPECT_EQ(s.timeoutMs, 2500);
  EXPECT_EQ(s.bytePacingMs, 3);
  EXPECT_TRUE(s.receiveTrace);
  EXPECT_FALSE(s.sendTrace);
  EXPECT_FALSE(s.thirdSystemFlag);
  EXPECT_TRUE(s.blockMode());
  EXPECT_EQ(s.portCount, 8);         // 120 is out of range
  EXPECT_EQ(s.defaultPortIndex, 1);  // 8 is not below the port count
  EXPECT_EQ(s.plcTransferDelayMs, 80);
  EXPECT_TRUE(s.multipleInquire);
  EXPECT_EQ(s.systemParameter3, 7);
}

TEST(InitIni, SystemParameterLineSplitsAtItsLastTwoCommas) {
  TempDir dir;
  dir.write("Init.ini", "a=1\nb=1\nSystem, odd = 0 , 1,1\n");
  Settings s;
  readInitIni(dir.file("Init.ini"), s);
  EXPECT_FALSE(s.receiveTrace);
  EXPECT_TRUE(s.sendTrace);
  EXPECT_TRUE(s.thirdSystemFlag);
}

TEST(InitIni, OneLineFileMeansSlowerPacing) {
  TempDir dir;
  dir.write("Init.ini", "Time Out Timer    = 1500\r\n");
  const Settings s = loadSettings(dir.dir());
  EXPECT_EQ(s.timeoutMs, 1500);
  EXPECT_EQ(s.bytePacingMs, 50);
}

TEST(InitIni, ShortFileStopsAtItsFirstMissingLine) {
  TempDir dir;
  dir.write("Init.ini", "a=1200\nb=20\nc=0,1,0\n");
  const Settings s = loadSettings(dir.dir());
  EXPECT_EQ(s.timeoutMs, 1200);
  EXPECT_EQ(s.bytePacingMs, 20);
  EXPECT_TRUE(s.sendTrace);
  EXPECT_EQ(s.portCount, 8);
  EXPECT_EQ(s.plcTransferDelayMs, 50);
}

TEST(InitIni, ValuesThatAreNoNumbersReadAsZero) {
  TempDir dir;
  dir.write("Init.ini", "no equals sign\nTrans Delay time  = fast\n");
  const Settings s = loadSettings(dir.dir());
  EXPECT_EQ(s.timeoutMs, 0);
  EXPECT_EQ(s.bytePacingMs, 0);
}

TEST(InitIni, PortCountOfOneSelectsTheOnlyPort) {
  TempDir dir;
  dir.write("Init.ini", "a=1\nb=1\nc=0,0,0\nd=0\ne=5\nf=50\ng=1\n");
  const Settings s = loadSettings(dir.dir());
  EXPECT_EQ(s.portCount, 1);
  EXPECT_EQ(s.defaultPortIndex, 0);
}

TEST(InitIni, WrittenBackWithTheNineFormats) {
  TempDir dir;
  Settings s;
  s.defaultPortIndex = 2;
  s.plcTransferDelayMs = 80;
  s.receiveTrace = true;
  ASSERT_TRUE(writeInitIni(dir.file("Init.Ini"), s));
  EXPECT_EQ(dir.read("Init.Ini"),
            "Time Out Timer    = 1000\r\n"
            "Trans Delay time  = 10\r\n"
            "System parameter  = 1,0,0\r\n"
            "Transit mode      = 0\r\n"
            "Default COM       = 2\r\n"
            "PLC Transit Delay = 80\r\n"
            "MAX COM Port      = 8\r\n"
            "System parameter 2= 0\r\n"
            "System parameter 3= 0\r\n");
  // What closing writes, starting reads back.
  const Settings back = loadSettings(dir.dir());
  EXPECT_EQ(back.defaultPortIndex, 2);
  EXPECT_EQ(back.plcTransferDelayMs, 80);
  EXPECT_TRUE(back.receiveTrace);
}

TEST(InitIni, ReadAndWrittenUnderOneNameWhateverItsCase) {
  TempDir dir;
  dir.write("init.INI", "a=700\n");
  EXPECT_EQ(initIniPath(dir.dir()), dir.file("init.INI"));
  TempDir empty;
  EXPECT_EQ(initIniPath(empty.dir()), empty.file("Init.Ini"));
}

TEST(InitIni, FailedWriteLeavesTheOldFile) {
  TempDir dir;
  dir.write("Init.Ini", "old\n");
  Settings s;
  EXPECT_FALSE(writeInitIni(dir.file("missing-dir/Init.Ini"), s));
  EXPECT_EQ(dir.read("Init.Ini"), "old\n");
}

TEST(CustomerIni, LanguageAndBaudIndex) {
  struct Case {
    const char* content;
    int language;
    int baudIndex;
  };
  const Case cases[] = {
      {"Language=0\r\nBaud=9\r\n", 0, 4},  // 9 is out of range
      {"Language=0\r\n", 1, 4},            // no second line: English
      {"", 1, 4},                          // no first line: English
      {"Language=5\nBaud=5\n", 1, 5},      // above 1 becomes 1
      {"Language=0\nBaud=1\n", 0, 1},
      {"Language=-2\nBaud=2\n", 0, 2},  // negative treated as Chinese
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.write("Customer.ini", c.content);
    const Settings s = loadSettings(dir.dir());
    EXPECT_EQ(s.language, c.language) << c.content;
    EXPECT_EQ(s.baudIndex, c.baudIndex) << c.content;
  }
}

TEST(Session, StartDirectoryHasTrailingSeparatorAndCatalogueOfTheLanguage) {
  TempDir dir;
  dir.write("Customer.ini", "Language=1\nBaud=4\n");
  dir.write("Message.E", "1 first\n2 second\n");
  const Session session = startSession(dir.dir().substr(0, dir.dir().size() - 1));
  EXPECT_EQ(session.startDir, dir.dir());
  EXPECT_EQ(session.msg(2), "second");
  EXPECT_EQ(session.initIniPath, dir.file("Init.Ini"));
}

}  // namespace
}  // namespace qxr
