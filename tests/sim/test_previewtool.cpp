// qxrtool nc preview, run as a user would from a shell: PNG and SVG of the
// same program, the words left out named on the way, usage errors and a
// target that cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "support/process.h"
#include "support/startdir.h"

using qxr::test::runShell;

TEST(PreviewTool, WritesPngAndSvg) {
  QXR_REQUIRE_TOOL("qxrtool");
  const qxr::test::StartDir dir;
  dir.write("demo.nc",
            "8\r\nDEMO\r\nN1 O0008 (ARCS DEMO)\r\nN2 G54 G90\r\nN3 G00 X10 Y10\r\nN4 G01 X60 F200\r\n"
            "N5 G03 X60 Y10 I-20 J0\r\nN6 G00 X0 Y0\r\nN7 M30\r\n");
  const std::string tool = qxr::test::toolCommand("qxrtool", dir.dir()) + " nc preview ";

  auto [pngCode, pngOutput] = runShell(tool + "demo.nc -o out.png");
  ASSERT_EQ(pngCode, 0) << pngOutput;
  EXPECT_NE(pngOutput.find("Line 1: skipped O0008"), std::string::npos) << pngOutput;
  EXPECT_NE(pngOutput.find("Line 2: skipped G54"), std::string::npos) << pngOutput;
  EXPECT_NE(pngOutput.find("4 moves"), std::string::npos) << pngOutput;
  const std::string png = dir.read("out.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  // The size sits in the header: 800 x 600 unless --size says otherwise.
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x03\x20\0\0\x02\x58", 8));
  ASSERT_EQ(runShell(tool + "demo.nc -o small.PNG --size 320x200").code, 0);
  EXPECT_EQ(dir.read("small.PNG").substr(16, 8), std::string("\0\0\x01\x40\0\0\0\xc8", 8));

  auto [svgCode, svgOutput] = runShell(tool + "demo.nc -o out.svg");
  ASSERT_EQ(svgCode, 0) << svgOutput;
  const std::string svg = dir.read("out.svg");
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"600\""), std::string::npos);
  EXPECT_NE(svg.find("class=\"feed\""), std::string::npos);
  EXPECT_NE(svg.find("class=\"rapid\""), std::string::npos);

  struct Refused {
    const char* arguments;
    int code;
  };
  const Refused refused[] = {
      {"demo.nc -o out.gif", 2},         {"demo.nc", 2},
      {"demo.nc -o a.png --size 10x10", 2}, {"demo.nc -o a.png --size 800", 2},
      {"demo.nc -o a.png --size 8192x8192", 2}, {"demo.nc -o a.png --size 99999999x600", 2},
      {"demo.nc -o a.png --plane xx", 2}, {"missing.nc -o a.png", 1},
      {"demo.nc -o nodir/a.svg", 1},
  };
  for (const Refused& r : refused) {
    auto [code, output] = runShell(tool + r.arguments);
    EXPECT_EQ(code, r.code) << r.arguments << "\n" << output;
  }
  EXPECT_FALSE(dir.exists("a.png"));
  // A loop that would make far more moves than a preview holds: the moves up
  // to the bound are drawn, the cut is said and the status is a failure.
  dir.write("loop.nc", "9\r\nLOOP\r\nN1 G91\r\nN2 G01 X1\r\nN3 G01 X-1\r\nN4 LOOP N2 L99999999\r\nN5 M30\r\n");
  auto [loopCode, loopOutput] = runShell(tool + "loop.nc -o loop.png");
  EXPECT_EQ(loopCode, 1) << loopOutput;
  EXPECT_NE(loopOutput.find("The path was cut off after 2000000 moves"), std::string::npos) << loopOutput;
  EXPECT_TRUE(dir.exists("loop.png"));
  // A read-only target keeps what it holds.
  dir.write("keep.svg", "old");
  ::chmod(dir.file("keep.svg").c_str(), 0444);
  EXPECT_EQ(runShell(tool + "demo.nc -o keep.svg").code, 1);
  EXPECT_EQ(dir.read("keep.svg"), "old");
}
