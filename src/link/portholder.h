#pragma once
// Why a local port did not open, and who holds a port that is busy.
#include <string>
#include <vector>

namespace qxr {

enum class PortFailure {
  kNone,
  kNotFound,      // no such path
  kDanglingLink,  // the port's link points to a path that does not exist
  kNoHardware,    // the device node exists but no hardware answers behind it
  kNoPermission,  // the user may not open it
  kHeld,          // another program has it open exclusively
  kRegularFile,   // a plain file, not a device
  kNotTerminal,   // a character device that is not a terminal (/dev/null)
  kNotDevice,     // a directory, pipe, socket or block device
  kOther,         // any other error of open(); its errno is kept
};

// The failure an errno of open() stands for (kOther for one with no class).
PortFailure portFailureForError(int error);

struct PortHolder {
  long pid = 0;
  std::string program;  // the process's command name, empty when unreadable
};

// The processes that hold `device` open, seen under `procRoot` ("/proc"):
// the one holding a flock on it (from <procRoot>/locks) when there is one,
// otherwise every process with a descriptor linked to it. Processes whose
// descriptors cannot be read are missed.
std::vector<PortHolder> findPortHolders(const std::string& device, const std::string& procRoot = "/proc");

struct PortOpenFailure {
  PortFailure failure = PortFailure::kNone;
  int error = 0;                    // errno of the failing call
  std::string device;               // the device the name resolved to
  std::vector<PortHolder> holders;  // for kHeld, best first
};

// Finds out why `path` (the resolved device of a port name) failed with
// `failure`/`error`: follows its link to name the device, and looks up the
// holder of a busy one.
PortOpenFailure describePortFailure(const std::string& path, PortFailure failure, int error,
                                    const std::string& procRoot = "/proc");

// The reason in the operator's language, without the device name.
std::string portFailureText(int language, const PortOpenFailure& failure);

}  // namespace qxr
