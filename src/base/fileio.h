#pragma once
// The one way files are read and written by the system.
//
// Reading takes regular files only (a FIFO, a device or a directory is
// refused before anything is read, so nothing blocks or runs without end) and
// never reads past a bound chosen by the kind of file.
//
// Saving writes a temporary file beside the target, flushes it to disk and
// renames it over the target, so a failed save leaves the old file whole. It
// keeps the target's permission bits, writes through a symbolic link to the
// file it names (the link stays a link), and refuses a target that may not be
// written (no write permission, or no write bit at all, which even root
// respects here).
#include <cstddef>
#include <string>
#include <string_view>

namespace qxr {

// Upper bounds of what is read, by kind of file. They are far above anything
// the controller or the editors can hold, and far below what would strain
// the machine.
inline constexpr std::size_t kProgramFileLimit = 4u << 20;    // NC programs: 6000 editor lines
inline constexpr std::size_t kParameterFileLimit = 1u << 20;  // .par: 2000 entries
inline constexpr std::size_t kPlcFileLimit = 16u << 20;       // .pmc/.plm sources, .mcn images
inline constexpr std::size_t kSettingsFileLimit = 1u << 20;   // Init.ini, catalogues, descriptions

enum class FileError {
  kNone,
  kNotFound,      // no such file
  kNotRegular,    // a directory, FIFO, device or socket
  kTooLarge,      // past the bound of its kind
  kNoPermission,  // the system refused access
  kReadOnly,      // the target exists but may not be written
  kNoSpace,       // the disk or the quota is full
  kFailed,        // any other failure of the system
};

// Reads the whole of a regular file into `bytes`; on failure `bytes` is empty.
FileError readFileChecked(const std::string& path, std::size_t limit, std::string& bytes);

// Saves `bytes` as the file `path` (see above). On failure the target is as
// it was and no temporary file is left behind.
FileError saveFile(const std::string& path, std::string_view bytes);

// The reason of a failure in the operator's language (1 English, otherwise
// Traditional Chinese), UTF-8, naming the path; `limit` fills in a bound.
std::string fileErrorText(int language, FileError error, std::string_view path,
                          std::size_t limit = 0);

}  // namespace qxr
