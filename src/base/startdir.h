#pragma once
// Which directory a run starts in. A start directory holds the message
// catalogue, the parameter descriptions and the settings files. The current
// directory is one when it holds a catalogue (as a build tree's run directory
// does); otherwise an installed program keeps the operator's own start
// directory, $XDG_DATA_HOME/qxrtrans (~/.local/share/qxrtrans), filled from
// the shipped data on first start and refreshed from a newer installation.
#include <string>
#include <vector>

namespace qxr {

// True when `dir` holds a message catalogue ("Message.C" or "Message.E").
bool isStartDirectory(const std::string& dir);

// What the choice depends on, gathered by startDirEnvironment() from the
// process and overridable by tests.
struct StartDirEnvironment {
  std::string currentDir;   // the current directory
  std::string home;         // $HOME
  std::string xdgDataHome;  // $XDG_DATA_HOME, empty when unset
  // Where the shipped data may lie, best first; the first that is a start
  // directory is used.
  std::vector<std::string> shippedDirs;
};

// The environment of this process: the current directory, $HOME,
// $XDG_DATA_HOME, and as shipped data the build tree's run directory beside
// the program, <prefix>/share/qxrtrans beside the program, then
// /usr/share/qxrtrans.
StartDirEnvironment startDirEnvironment();

// $XDG_DATA_HOME/qxrtrans/ when that variable holds an absolute path,
// otherwise $HOME/.local/share/qxrtrans/ (with a trailing separator).
std::string userStartDirectory(const StartDirEnvironment& env);

struct StartDirChoice {
  std::string dir;            // absolute, with a trailing separator
  std::string shippedFrom;    // the shipped data used to fill or refresh it, empty when none
  bool created = false;       // the user's start directory was made now
  std::vector<std::string> copied;  // names of files copied in (new or refreshed)
  std::string problem;        // empty, or why the directory is not a usable start directory
};

// The rule: an explicit directory (--start-dir) is taken as it is; else the
// current directory when it is a start directory; else the user's start
// directory, created and brought up to date from the shipped data. When the
// user's directory cannot be made, the shipped data itself is used (its
// settings are then not saved).
StartDirChoice chooseStartDirectory(const std::string& explicitDir, const StartDirEnvironment& env);

// Files the operator keeps: copied into a start directory only when missing.
bool isOperatorSettingsFile(const std::string& name);

struct ShippedCopyResult {
  std::vector<std::string> copied;  // names copied or refreshed
  std::vector<std::string> failed;  // names that could not be copied
};

// Brings the shipped files of `shippedDir` (regular files at its top level)
// into `startDir`: a missing file is copied; a shipped file the operator does
// not edit (catalogues, parameter descriptions, the manual) is replaced when
// the shipped one is newer; "Init.ini", "Customer.ini" and every file that is
// not shipped are left alone. Copies take the shipped file's modification
// time, so an unchanged installation copies nothing.
ShippedCopyResult installShippedFiles(const std::string& shippedDir, const std::string& startDir);

// The absolute form of `dir` with a trailing separator (relative to the
// current directory).
std::string absoluteDirectory(const std::string& dir);

}  // namespace qxr
