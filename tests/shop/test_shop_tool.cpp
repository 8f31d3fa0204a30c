// qxrtool with machines by name and the journal, run as a shop would: every
// transfer recorded with its hash, and a journal that cannot be written
// changes neither the transfer's result nor the file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/settings.h"
#include "shop/sha256.h"
#include "support/emulator.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;

const std::string kProgram = "7\r\nPART1\r\nN1 G01 X10 Y10 F100\r\nN2 M30\r\n";

struct Shop {
  test::TempDir dir;
  Shop() {
    for (const auto& entry : fs::directory_iterator(test::dataDir()))
      if (entry.is_regular_file()) fs::copy_file(entry.path(), dir.file(entry.path().filename().string()));
    dir.write("Customer.ini", "Language = 1\r\nBaud = 4\r\n");
    Settings settings;
    settings.transitMode = 1;
    settings.timeoutMs = 300;
    dir.write("Init.ini", formatInitIni(settings));
    dir.write("part.nc", kProgram);
    fs::create_directory(dir.file("state"));
  }
  // Runs qxrtool with the journal in this shop's state directory (or as
  // `environment` says); exit status and stdout + stderr.
  std::pair<int, std::string> run(const std::string& args, const std::string& environment = "") const {
    const std::string command = "cd '" + dir.dir() + "' && env XDG_STATE_HOME='" + dir.file("state") + "' " +
                                environment + " timeout 20 " + test::binDir() + "/tools/qxrtool/qxrtool --dir " +
                                dir.dir() + " --yes " + args + " 2>&1 </dev/null";
    FILE* out = ::popen(command.c_str(), "r");
    std::string text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, out)) text.append(chunk, n);
    const int status = ::pclose(out);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
  }
};

struct Row {
  const char* args;
  int exit;
  const char* said;
};

// Runs each row's command in turn: its exit status and a fragment of what it said.
void runRows(const Shop& shop, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    const auto [code, output] = shop.run(row.args);
    EXPECT_EQ(code, row.exit) << output;
    EXPECT_NE(output.find(row.said), std::string::npos) << output;
  }
}

TEST(ShopTool, MachinesAreAddedListedAndRemovedByName) {
  Shop shop;
  shop.dir.write("Machines.ini", "# by hand\n[Broken]\nmodel = QXR999\nport = COM1\n");
  const std::vector<Row> rows = {
      {"machines add Mill --model QXR102 --port COM2", 0, ""},
      {"machines add 'Lathe 3' --model QXR302 --version M --port rfc2217://box:2003 --baud 9600 --mode block", 0, ""},
      {"machines add Mill --model QXR102 --port COM3", 1, "a machine named Mill exists"},
      {"machines add Mill --model QXR102 --port COM3 --replace", 0, ""},
      {"machines add X --model QXR102 --port COM2 --baud 9601", 2, "--baud takes"},
      {"machines add X --model QXR102 --port ttyS0", 2, "not a port"},
      {"machines add X --port COM2", 2, "needs --model and --port"},
      {"machines add '[x]' --model QXR102 --port COM2", 2, "not a machine name"},
      {"machines list", 1, "Lathe 3\tQXR302 M\trfc2217://box:2003\t9600\tblock"},
      {"machines list", 1, "Machines.ini: line 3: bad value: model = QXR999"},
      {"machines remove nobody", 1, "no machine named nobody"},
      {"machines remove mill", 0, ""},
      {"--machine Mill nc send part.nc", 1, "no machine named Mill"},
  };
  runRows(shop, rows);
  const std::string text = shop.dir.read("Machines.ini");
  EXPECT_EQ(text.rfind("# by hand\n[Broken]\nmodel = QXR999\n", 0), 0u) << text;
  EXPECT_EQ(text.find("[Mill]"), std::string::npos) << text;
}

TEST(ShopTool, TransfersByMachineNameAreJournalledWithTheirHash) {
  Shop shop;
  test::EmulatorOptions options;
  options.model = 302;
  options.version = "M";
  test::Emulator emulator(shop.dir, options);
  shop.dir.write("Machines.ini", "[Lathe 3]\nmodel = QXR302\nversion = M\nport = COM2\nmode = block\ntimeout = 300\n");
  const std::string hashed =
      "\"sha256\":\"" + sha256Hex("G01 X10 Y10 F100\r\nM30\r\n") + "\",\"message\":\"File saved\"";
  const std::vector<Row> rows = {
      {"--machine 'lathe 3' nc send part.nc", 0, "Transfer finished"},
      {"--machine 'Lathe 3' nc receive 7 -o back.nc", 0, "File saved"},
      {"--machine 'Lathe 3' nc receive 9 -o none.nc", 1, ""},
      {"--machine 'Lathe 3' nc receive 0 -o none.nc", 2, "program number must be 1 to 99"},  // not recorded
      {"journal --since 2000-01-01 --json", 0, hashed.c_str()},
      {"journal --program 7 --result finished", 0, "nc receive"},
      {"journal --machine 'Lathe 3' --result failed", 0, "nc receive      O9"},
      {"journal --since yesterday", 2, "--since takes"},
  };
  runRows(shop, rows);
  const auto [code, lines] = shop.run("journal --machine 'LATHE 3'");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3) << lines;  // send, receive 7, receive 9
  EXPECT_EQ(lines.find("O0"), std::string::npos) << lines;
  // A command's model and version default to the machine's.
  const auto [listCode, byMachine] = shop.run("--machine 'Lathe 3' param list");
  const auto [modelCode, byModel] = shop.run("param list --model QXR302 --version M");
  const auto [defaultCode, byDefault] = shop.run("param list");
  EXPECT_EQ(byMachine, byModel);
  EXPECT_NE(byMachine, byDefault);
  const auto [sendCode, send] = shop.run("journal --program 7 --json");
  EXPECT_NE(send.find("\"machine\":\"Lathe 3\",\"port\":\"COM2\",\"model\":\"QXR302 M\",\"operation\":\"nc send\""),
            std::string::npos) << send;
}

TEST(ShopTool, AJournalThatCannotBeWrittenLeavesTheTransferAlone) {
  const std::vector<std::pair<const char*, const char*>> journals = {
      {"damaged", "QXR_JOURNAL=damaged.db"},
      {"a directory", "QXR_JOURNAL=adir"},
      {"under a file", "QXR_JOURNAL=part.nc/j.db"},
  };
  for (const auto& [label, environment] : journals) {
    SCOPED_TRACE(label);
    Shop shop;
    shop.dir.write("damaged.db", "this is no database, and must stay as it is\n");
    fs::create_directory(shop.dir.file("adir"));
    test::Emulator emulator(shop.dir);
    const auto [code, output] = shop.run("--port COM2 nc send part.nc", environment);
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("Transfer finished"), std::string::npos) << output;
    std::size_t warnings = 0;
    for (std::size_t at = output.find("warning: journal"); at != std::string::npos;
         at = output.find("warning: journal", at + 1))
      ++warnings;
    EXPECT_EQ(warnings, 1u) << output;
    EXPECT_EQ(shop.dir.read("damaged.db"), "this is no database, and must stay as it is\n");
    EXPECT_EQ(shop.dir.read("part.nc"), kProgram);
    EXPECT_TRUE(fs::is_empty(shop.dir.file("adir")));
  }
}

TEST(ShopTool, ProcessesRecordingAtOnceLoseNoRecord) {
  Shop shop;
  // Refused sends are recorded too, and need no controller: 8 processes of 10.
  std::string script = "for p in 1 2 3 4 5 6 7 8; do (for i in 1 2 3 4 5 6 7 8 9 10; do " + test::binDir() +
                       "/tools/qxrtool/qxrtool --dir " + shop.dir.dir() +
                       " --port COM9 nc send missing.nc >/dev/null 2>&1; done) & done; wait";
  const std::string command = "cd '" + shop.dir.dir() + "' && XDG_STATE_HOME='" + shop.dir.file("state") + "' sh -c '" +
                              script + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto [code, output] = shop.run("journal --limit 1000");
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 80) << output;
}

}  // namespace
}  // namespace qxr
