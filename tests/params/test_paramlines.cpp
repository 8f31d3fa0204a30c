#include <gtest/gtest.h>

#include <string>

#include "app/session.h"
#include "params/paramtransfer.h"
#include "support/fakehost.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

TEST(ParameterWriteLine, NumberTextBetweenTheBracketsAndTheValueAfterTheLastEquals) {
  EXPECT_EQ(parameterWriteLine("Speed(12)=300"), "12=300");
  EXPECT_EQ(parameterWriteLine("A(12)=3=4"), "12=4");
  EXPECT_EQ(parameterWriteLine("A(12)=x"), "12=0");
  EXPECT_EQ(parameterWriteLine("A(1 2)=5"), "1 2=5");
  EXPECT_EQ(parameterWriteLine("A(12)= -7 mm"), "12=-7");
  EXPECT_EQ(parameterWriteLine("Baud [1=1200](1)=3"), "1=3");
  EXPECT_EQ(parameterWriteLine("(a(b)c)=9"), "a(b=9");  // from the first "(" to the first ")"
  EXPECT_EQ(parameterWriteLine("A(12)=99999999999"), "12=2147483647");  // clamped, never wraps
  EXPECT_EQ(parameterWriteLine("\xB3\x74(7)=1"), "7=1");       // Big5 name bytes
}

TEST(ParameterWriteLine, MalformedLinesGiveNothing) {
  EXPECT_FALSE(parameterWriteLine(""));
  EXPECT_FALSE(parameterWriteLine("Speed 12=300"));   // no ")"
  EXPECT_FALSE(parameterWriteLine("Speed12)=300"));   // no "(" before it
  EXPECT_FALSE(parameterWriteLine(")Speed(12=300"));
  EXPECT_FALSE(parameterWriteLine("Speed(12) 300"));  // no "="
  EXPECT_TRUE(isParameterComment("/Speed(12)=300"));
  EXPECT_FALSE(isParameterComment(" /indented"));
  EXPECT_FALSE(isParameterComment(""));
}

TEST(ReceivedParameterLine, AnswerUpToItsLineEnd) {
  const ParameterEntry speed{"Speed", 12};
  EXPECT_EQ(receivedParameterLine(speed, "300\r\n"), "Speed(12)=300");
  EXPECT_EQ(receivedParameterLine(speed, "300\n"), "Speed(12)=300");  // a bare LF must not split the line
  EXPECT_EQ(receivedParameterLine(speed, "\r\n"), "Speed(12)=");
  EXPECT_EQ(receivedParameterLine({"Neg", -1}, "5\r\n"), "Neg(-1)=5");
}

class ParameterFileTest : public ::testing::Test {
 protected:
  ParameterFileTest() {
    session.settings.language = 1;
    session.catalogue.loadLanguage(test::dataDir(), 1);
  }
  TempDir dir;
  Session session;
  test::FakeHost host;
  MemoryParameterPage page;
};

TEST_F(ParameterFileTest, SavingAndReadingGivesBackEveryLine) {
  page.lines = {"/ spindle", "Speed(12)=300", std::string(200, 'L') + "(1)=2", "", "\xB3\x74(7)=1", "trailing  "};
  const std::string path = dir.file("set.par");
  ASSERT_TRUE(writeParameterFile(path, session, host, page));
  EXPECT_EQ(dir.read("set.par").substr(0, 26), "/ spindle\r\nSpeed(12)=300\r\n");
  EXPECT_EQ(page.fileLabel, session.msg(35) + path);

  MemoryParameterPage readBack;
  readBack.lines = {"old"};
  ASSERT_TRUE(readParameterFile(path, session, host, readBack));
  EXPECT_EQ(readBack.lines, page.lines);
  const std::vector<std::string> expected = {session.msg(116), session.msg(117), session.msg(111),
                                             session.msg(114) + ":6", session.msg(115)};
  EXPECT_EQ(host.lines(kParameterPage), expected);
  EXPECT_EQ(host.allLines(), expected);  // on the parameter page, whichever page is on top
}

TEST_F(ParameterFileTest, EmptyFileEmptiesTheEditor) {
  dir.write("empty.par", "");
  page.lines = {"old"};
  ASSERT_TRUE(readParameterFile(dir.file("empty.par"), session, host, page));
  EXPECT_TRUE(page.lines.empty());
  EXPECT_EQ(host.allLines()[1], session.msg(114) + ":0");
}

TEST_F(ParameterFileTest, FailuresLeaveEditorAndFilesAlone) {
  page.lines = {"kept"};
  EXPECT_FALSE(readParameterFile(dir.file("missing.par"), session, host, page));
  EXPECT_EQ(page.lines, std::vector<std::string>{"kept"});
  EXPECT_EQ(host.allLines(), std::vector<std::string>{session.msg(111)});

  // A save that cannot be made reports no success.
  host.clearLines();
  EXPECT_FALSE(writeParameterFile(dir.file("no such directory/set.par"), session, host, page));
  EXPECT_EQ(host.allLines(), std::vector<std::string>{session.msg(116)});
}

}  // namespace
}  // namespace qxr
