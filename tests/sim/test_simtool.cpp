// qxrtool nc convert and nc plot, run as a user would from a shell.
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"
#include "support/startdir.h"

namespace {

using qxr::test::runShell;

TEST(SimTool, ConvertsAndPlotsProgramFiles) {
  QXR_REQUIRE_TOOL("qxrtool");
  const qxr::test::StartDir dir;
  // Line numbers with a gap: the program's third line is empty. The arc runs
  // clockwise from the left of its centre over the top to the bottom.
  dir.write("part.nc", "7\r\nPART\r\nN1 G01 X10 Y20 F100 M03\r\nN2 G02 X20 Y10 I10 J0\r\nN4 LOOP N4 L2\r\n");
  dir.write("bad.nc", "7\r\nPART\r\nN1 G01 X1\r\nN2 G05\r\n");
  dir.write("x00.nc", "7\r\nN1 G00 X5\r\n");
  const std::string tool = qxr::test::toolCommand("qxrtool", dir.dir()) + " nc ";

  auto [converted, convertOutput] = runShell(tool + "convert part.nc");
  ASSERT_EQ(converted, 0) << convertOutput;
  const std::string dump = dir.read("Test.TXT");
  EXPECT_EQ(dump.substr(0, 26), "N0001 C= 1 AS= 0 MX= 3 X= ");
  EXPECT_NE(dump.find("N0004 C=97"), std::string::npos);

  auto [failed, failOutput] = runShell(tool + "convert bad.nc --dump " + dir.file("bad.txt"));
  EXPECT_EQ(failed, 1);
  EXPECT_NE(failOutput.find("Unrecognised code or keyword  On Line:N0002"), std::string::npos) << failOutput;
  EXPECT_EQ(dir.read("bad.txt").substr(0, 18), "ENO=fd   EL=   2\r\n");

  // Read as an X02 file, the X00 file's first program line is taken for its name.
  EXPECT_EQ(runShell(tool + "convert x00.nc --type x00").code, 0);
  EXPECT_EQ(runShell(tool + "convert x00.nc").code, 1);

  auto [plotted, plotOutput] = runShell(tool + "plot part.nc -o " + dir.file("part.png") + " --mirror-x --resolution 2");
  ASSERT_EQ(plotted, 0) << plotOutput;
  EXPECT_NE(plotOutput.find("(X0.000,Y0.000) , (X30.000,Y30.000)"), std::string::npos) << plotOutput;
  EXPECT_EQ(dir.read("part.png").substr(1, 3), "PNG");
  EXPECT_EQ(runShell(tool + "plot part.nc").code, 2);
  EXPECT_EQ(runShell(tool + "plot part.nc -o x.png --resolution 7").code, 2);
}

}  // namespace
