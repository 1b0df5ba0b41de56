// The few file-system steps the text files need, on plain POSIX: descriptors
// that close themselves, paths of any length (longer than PATH_MAX, a folder
// at a time), and the names by which a program reaches its own descriptors.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace fileSystem {

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor();

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes now, returning close's errno (0 on success).
  int Close();

 private:
  int fd_ = -1;
};

// open(2) for a path of any length; -1 with errno set on failure.
int OpenPath(const std::string& path, int flags, mode_t mode = 0);

// The folder part of a path ("." for a bare name, "/" for the root's files)
// and its last component.
std::pair<std::string, std::string> SplitPath(std::string_view path);

// The descriptor of this process that a name such as /dev/stdout, /dev/fd/3
// or /proc/self/fd/3 stands for. The name is resolved as the kernel resolves
// it (/dev/fd//3, /proc/self/fd/../fd/3, and symbolic links to such names,
// stand for descriptor 3 too), but for the descriptor's own link, which is
// not followed.
std::optional<int> DescriptorNamed(const std::string& path);

// Writes all of bytes; errno on failure, 0 on success.
int WriteAll(int fd, std::string_view bytes);

}  // namespace fileSystem
