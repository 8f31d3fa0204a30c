#pragma once
// The settings of a run: "Init.ini" (read at start, written back at closing)
// and "Customer.ini" (language and line speed, read only), both in the start
// directory.
#include <string>

namespace qxr {

struct Settings {
  int timeoutMs = 1000;          // wait for a reply
  int bytePacingMs = 10;         // pause after each byte in byte mode
  bool receiveTrace = false;     // "RCV: " lines
  bool sendTrace = false;        // "TRN: " lines
  bool thirdSystemFlag = false;  // kept and written back only
  int transitMode = 0;           // 1 = block mode, anything else = byte mode
  int defaultPortIndex = 1;      // 0-based entry of the port list
  int plcTransferDelayMs = 50;
  int portCount = 8;
  bool multipleInquire = false;  // ask before deleting in a multiple transfer
  int systemParameter3 = 0;      // kept and written back only
  int language = 0;              // 0 Chinese, 1 English
  int baudIndex = 4;             // 1..5 = 1200..19200

  bool blockMode() const { return transitMode == 1; }
  int baudRate() const;
};

// The PLC transfer delay that is used: the delay field's range, 0 to 5000 ms.
// "Init.ini" may hold any number; a value outside the range is used as its
// nearest end, shown so in the field, and written back unchanged unless the
// operator sets another.
inline constexpr int kMaxPlcTransferDelayMs = 5000;
int plcTransferDelayInUse(double ms);

inline constexpr int kMinPortCount = 1;
inline constexpr int kMaxPortCount = 99;
inline constexpr std::size_t kInitLineLimit = 79;

// Names of the settings files in the start directory.
inline constexpr const char* kInitIniName = "Init.ini";
inline constexpr const char* kInitIniWriteName = "Init.Ini";
inline constexpr const char* kCustomerIniName = "Customer.ini";

// The settings file of a start directory. The program reads "Init.ini" and
// writes "Init.Ini"; on a file system that tells case apart they must still
// be one file, so an existing file of either spelling is used for both.
std::string initIniPath(const std::string& startDir);

// Defaults, then "Init.ini" and "Customer.ini" of the start directory with
// their clamps. Missing files leave the defaults standing.
Settings loadSettings(const std::string& startDir);

void readInitIni(const std::string& path, Settings& settings);
void readCustomerIni(const std::string& path, Settings& settings);

// The nine lines of "Init.Ini", exactly as they are written.
std::string formatInitIni(const Settings& settings);

// Writes "Init.Ini" atomically; false when it could not be written (the old
// file then stays as it was).
bool writeInitIni(const std::string& path, const Settings& settings);

// The current directory as an absolute path with a trailing separator.
std::string currentStartDirectory();

}  // namespace qxr
