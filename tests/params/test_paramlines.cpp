#include <gtest/gtest.h>

#include <string>

#include "base/fileio.h"
#include "base/session.h"
#include "params/paramtransfer.h"
#include "support/fakehost.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

TEST(ParameterLines, WriteLineFromNumberTextAndLastValue) {
  EXPECT_EQ(parameterWriteLine("Speed(12)=300"), "12=300");
  EXPECT_EQ(parameterWriteLine("A(12)=3=4"), "12=4");
  EXPECT_EQ(parameterWriteLine("A(12)=x"), "12=0");
  EXPECT_EQ(parameterWriteLine("A(1 2)=5"), "1 2=5");
  EXPECT_EQ(parameterWriteLine("Baud [1=1200](1)=3"), "1=3");
  // Beyond the controller's 32 bits: no write line at all, never a clamped or wrapped value.
  EXPECT_FALSE(parameterWriteLine("A(12)=99999999999"));
  EXPECT_EQ(parameterWriteLine("A(12)=-2147483648"), "12=-2147483648");
  for (const char* malformed : {"", "Speed 12=300", "Speed12)=300", ")Speed(12=300", "Speed(12) 300"})
    EXPECT_FALSE(parameterWriteLine(malformed)) << malformed;
  EXPECT_TRUE(isParameterComment("/Speed(12)=300"));
  EXPECT_FALSE(isParameterComment(" /indented"));
  // A received answer ends at its line end; a bare LF must not split the line.
  EXPECT_EQ(receivedParameterLine({"Speed", 12}, "300\n"), "Speed(12)=300");
  EXPECT_EQ(receivedParameterLine({"Speed", 12}, "\r\n"), "Speed(12)=");
}

TEST(ParameterFiles, SavingAndReadingGivesBackEveryLine) {
  test::TempDir dir;
  Session session;
  session.catalogue.loadLanguage(test::dataDir(), 1);
  test::FakeHost host;  // on the program page: the reports still go to the parameter page
  MemoryParameterPage page;
  page.lines = {"/ spindle", "Speed(12)=300", std::string(200, 'L') + "(1)=2", "", "\xB3\x74(7)=1"};
  const std::string path = dir.file("set.par");
  ASSERT_TRUE(writeParameterFile(path, session, host, page));
  EXPECT_EQ(dir.read("set.par").substr(0, 26), "/ spindle\r\nSpeed(12)=300\r\n");

  MemoryParameterPage readBack;
  ASSERT_TRUE(readParameterFile(path, session, host, readBack));
  EXPECT_EQ(readBack.lines, page.lines);
  EXPECT_EQ(readBack.fileLabel, session.msg(35) + path);
  EXPECT_EQ(host.lines(kParameterPage), (std::vector<std::string>{session.msg(116), session.msg(117), session.msg(111),
                                                                  session.msg(114) + ":5", session.msg(115)}));

  // Failures report their reason, no success, and leave the editor as it was.
  host.clearLines();
  EXPECT_FALSE(readParameterFile(dir.file("missing.par"), session, host, readBack));
  EXPECT_FALSE(writeParameterFile(dir.file("no such directory/set.par"), session, host, page));
  EXPECT_EQ(readBack.lines, page.lines);
  const int language = session.language();
  EXPECT_EQ(host.allLines(),
            (std::vector<std::string>{session.msg(111), fileErrorText(language, FileError::kNotFound, dir.file("missing.par")),
                                      session.msg(116),
                                      fileErrorText(language, FileError::kNotFound, dir.file("no such directory/set.par"))}));
}

}  // namespace
}  // namespace qxr
