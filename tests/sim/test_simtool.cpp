// qxrtool nc convert and nc plot, run as a user would from a shell.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "support/tempdir.h"

namespace {

std::pair<int, std::string> run(const std::string& command) {
  FILE* out = ::popen((command + " 2>&1").c_str(), "r");
  std::string text;
  char chunk[4096];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, out)) text.append(chunk, n);
  const int status = ::pclose(out);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// The build tree: QXR_BIN_DIR, or three levels above this test program
// (<build>/tests/sim/test_simtool), as ctest may pass only part of the
// environment.
std::string buildTree() {
  if (const char* bin = std::getenv("QXR_BIN_DIR")) return bin;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().parent_path().parent_path().string();
}

TEST(SimTool, ConvertsAndPlotsProgramFiles) {
  const std::string bin = buildTree();
  if (!std::filesystem::exists(bin + "/tools/qxrtool/qxrtool")) GTEST_SKIP() << "qxrtool not built";
  qxr::test::TempDir dir;
  std::filesystem::copy_file(qxr::test::dataDir() + "Message.E", dir.file("Message.E"));
  dir.write("Customer.ini", "Language = 1\r\nBaud = 4\r\n");
  // Line numbers with a gap: the program's third line is empty. The arc runs
  // clockwise from the left of its centre over the top to the bottom.
  dir.write("part.nc", "7\r\nPART\r\nN1 G01 X10 Y20 F100 M03\r\nN2 G02 X20 Y10 I10 J0\r\nN4 LOOP N4 L2\r\n");
  dir.write("bad.nc", "7\r\nPART\r\nN1 G01 X1\r\nN2 G05\r\n");
  dir.write("x00.nc", "7\r\nN1 G00 X5\r\n");
  const std::string tool = "cd " + dir.dir() + " && " + bin + "/tools/qxrtool/qxrtool --dir " + dir.dir() + " nc ";

  auto [converted, convertOutput] = run(tool + "convert part.nc");
  ASSERT_EQ(converted, 0) << convertOutput;
  const std::string dump = dir.read("Test.TXT");
  EXPECT_EQ(dump.substr(0, 26), "N0001 C= 1 AS= 0 MX= 3 X= ");
  EXPECT_NE(dump.find("N0004 C=97"), std::string::npos);

  auto [failed, failOutput] = run(tool + "convert bad.nc --dump " + dir.file("bad.txt"));
  EXPECT_EQ(failed, 1);
  EXPECT_NE(failOutput.find("Unrecognised code or keyword  On Line:N0002"), std::string::npos) << failOutput;
  EXPECT_EQ(dir.read("bad.txt").substr(0, 18), "ENO=fd   EL=   2\r\n");

  // Read as an X02 file, the X00 file's first program line is taken for its name.
  EXPECT_EQ(run(tool + "convert x00.nc --type x00").first, 0);
  EXPECT_EQ(run(tool + "convert x00.nc").first, 1);

  auto [plotted, plotOutput] = run(tool + "plot part.nc -o " + dir.file("part.png") + " --mirror-x --resolution 2");
  ASSERT_EQ(plotted, 0) << plotOutput;
  EXPECT_NE(plotOutput.find("(X0.000,Y0.000) , (X30.000,Y30.000)"), std::string::npos) << plotOutput;
  EXPECT_EQ(dir.read("part.png").substr(1, 3), "PNG");
  EXPECT_EQ(run(tool + "plot part.nc").first, 2);
  EXPECT_EQ(run(tool + "plot part.nc -o x.png --resolution 7").first, 2);
}

}  // namespace
