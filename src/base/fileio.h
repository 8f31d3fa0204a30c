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

// Upper bounds of what is read, by kind of file. They are well above anything
// the controller or the editors can hold, and low enough that no input makes
// a command grow past about 100 MB (a file of empty lines costs the most: one
// line object per byte).
//   NC programs: 6000 editor lines of at most 255 bytes on the wire make 1.5 MB.
//   .par: 3000 entries (2000 described, 1000 additional) of about 60 bytes.
//   PLC: the editor's 1024 lines; an .mcn image takes 34 bytes per 16 bytes
//   of code, so 1 MB holds some 80 000 instructions.
//   Settings: Init.ini, Customer.ini, catalogues (300 lines), descriptions
//   (2000 lines of at most 253 characters).
inline constexpr std::size_t kProgramFileLimit = 2u << 20;
inline constexpr std::size_t kParameterFileLimit = 1u << 20;
inline constexpr std::size_t kPlcFileLimit = 1u << 20;
inline constexpr std::size_t kSettingsFileLimit = 1u << 20;

enum class FileError {
  kNone,
  kNotFound,      // no such file
  kNotRegular,    // a directory, FIFO, device or socket
  kNotDirectory,  // a directory was needed
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

// Whether files can be made in `dir`: it exists, is a directory (or a link
// to one) and may be written and entered. Checked before a batch that
// writes into it starts.
FileError checkOutputDirectory(const std::string& dir);

// Whether saveFile could replace or make `path` as things stand (the same
// checks, nothing written): used to refuse a target before a transfer whose
// result could not be kept.
FileError checkSaveTarget(const std::string& path);

// The reason of a failure in the operator's language (1 English, otherwise
// Traditional Chinese), UTF-8, naming the path; `limit` fills in a bound.
std::string fileErrorText(int language, FileError error, std::string_view path,
                          std::size_t limit = 0);

}  // namespace qxr
