#pragma once
// The PLC page's operations: reading and writing PLC files, sending the
// program to the controller (compiling it first unless the editor already
// holds compiled data) and receiving it back as text. They report on the
// current page through the link; each returns true when it reached its
// normal end.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/linecheck.h"
#include "link/operation.h"
#include "plc/mcn.h"
#include "plc/plcpage.h"

namespace qxr {

// The received program is kept in the start directory under this name.
inline constexpr const char* kReceivedMcnName = "Mcn.tmp";

// True when every character of every line is 0-9 or A-F: the editor then
// holds compiled data, which is sent as it stands.
bool holdsCompiledData(const std::vector<std::string>& lines);

// What would keep a PLC text from reaching the controller as written: a
// control byte in any line (source or compiled data alike); for compiled data
// in the editor, a data record that does not fit the controller's line
// buffer (its byte count has two hexadecimal digits, too). The first problem
// in line order.
std::optional<LineProblem> checkPlcLines(const std::vector<std::string>& lines);

// The data text of a PLC record: from `offset` up to the two checksum
// characters before the first ETX (the whole rest without an ETX); empty
// when the record is too short for it.
std::string_view recordData(std::string_view record, std::size_t offset);

// The line of a failed compilation: catalogue message 200 + status, then
// where the fault is, as the editor's line labels show it ("N0005: LD 0016").
std::string compileFailureText(const Session& session, const PlcCompilation& compilation);

// ">" or "<" repeated 1 to 11 times, one more per call, then from 1 again.
class ProgressRun {
 public:
  explicit ProgressRun(char mark) : mark_(mark) {}
  std::string next();

 private:
  char mark_;
  int length_ = 0;
};

class PlcOperations {
 public:
  PlcOperations(const OperationParts& parts, PlcPage& page, PlcTables& tables);

  // ReadPLMBtnClick / WritePLMBtnClick once the file window produced `path`.
  bool readFile(const std::string& path);
  bool writeFile(const std::string& path);

  bool send();     // PLMTrnBtnClick
  // PLMRcvBtnClick. The received program is kept in "Mcn.tmp" of the start
  // directory, which is checked before the port opens: a transfer whose
  // result could not be kept is not started.
  bool receive();

  // Turns a ".mcn" file into source lines in the editor and reports how the
  // listing ended (the last part of a receive).
  bool listMcnFile(const std::string& path);

 private:
  void report(int catalogueNumber, std::string_view text = {});
  bool exchange(std::string_view frame, int communicatingLines = 1);
  bool linkOnWithRetry();
  bool sendDataLines(const std::vector<std::string>& lines);

  Session& session_;
  LinkHost& host_;
  Link& link_;
  TThreadComm& port_;
  PlcPage& page_;
  PlcTables& tables_;
};

}  // namespace qxr
