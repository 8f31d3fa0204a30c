#pragma once
// Fuzz input written to a private file, for readers that take a path.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qxr::fuzz {

class InputFile {
 public:
  InputFile(const std::uint8_t* data, std::size_t size) {
    char pattern[] = "/tmp/qxr-fuzz-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) {
      path_ = pattern;
      std::size_t done = 0;
      while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    }
  }
  ~InputFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace qxr::fuzz
