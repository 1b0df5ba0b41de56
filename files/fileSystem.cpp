#include "fileSystem.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>

namespace fileSystem {

namespace {

bool IsNumber(std::string_view text) {
  return !text.empty() && text.size() < 10 &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<std::string> RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                         &std::free);
  return real ? std::optional<std::string>(real.get()) : std::nullopt;
}

// The descriptor that `name` in a folder (a real path) stands for: a number
// in this process's /proc/PID/fd or one of its threads' /proc/PID/task/TID/fd
// (ownProcess is /proc/PID), or stdin, stdout or stderr in /dev.
std::optional<int> DescriptorIn(std::string_view folder, std::string_view name,
                                std::string_view ownProcess) {
  if (folder == "/dev") {
    constexpr std::array<std::string_view, 3> kStandard = {"stdin", "stdout", "stderr"};
    const auto* found = std::find(kStandard.begin(), kStandard.end(), name);
    return found != kStandard.end()
               ? std::optional<int>(static_cast<int>(found - kStandard.begin()))
               : std::nullopt;
  }
  if (!IsNumber(name)) {
    return std::nullopt;
  }
  bool ownTable = folder == "/dev/fd";
  if (!ownProcess.empty() && folder.starts_with(ownProcess) && folder.ends_with("/fd")) {
    const std::string_view between =
        folder.substr(ownProcess.size(), folder.size() - ownProcess.size() - 3);
    ownTable = between.empty() || (between.starts_with("/task/") && IsNumber(between.substr(6)));
  }
  if (!ownTable) {
    return std::nullopt;
  }
  int fd = -1;
  std::from_chars(name.data(), name.data() + name.size(), fd);
  return fd;
}

// The path a symbolic link in a folder (a real path) points at, relative
// links taken from that folder; nullopt for anything that is not a link.
std::optional<std::string> LinkTarget(const std::string& folder, const std::string& name) {
  const std::string path = folder == "/" ? "/" + name : folder + "/" + name;
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
    return std::nullopt;
  }
  target.resize(static_cast<std::size_t>(length));
  return target.starts_with('/') ? target : folder + "/" + target;
}

}  // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

Descriptor::~Descriptor() {
  Close();
}

int Descriptor::Close() {
  if (fd_ < 0) {
    return 0;
  }
  const int result = close(std::exchange(fd_, -1));
  return result == 0 || errno == EINTR ? 0 : errno;
}

int OpenPath(const std::string& path, int flags, mode_t mode) {
  if (path.size() < PATH_MAX) {
    return open(path.c_str(), flags, mode);
  }
  // Too long for one call: walk it a folder at a time.
  Descriptor folder(path.starts_with('/') ? open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)
                                          : open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) {
    return -1;
  }
  std::string_view rest(path);
  for (;;) {
    while (rest.starts_with('/')) {
      rest.remove_prefix(1);
    }
    const std::size_t slash = rest.find('/');
    const std::string component(rest.substr(0, slash));
    const bool last = slash == std::string_view::npos ||
                      rest.find_first_not_of('/', slash) == std::string_view::npos;
    if (last) {
      return openat(folder.Get(), component.empty() ? "." : component.c_str(), flags, mode);
    }
    Descriptor next(openat(folder.Get(), component.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!next.Valid()) {
      return -1;
    }
    folder = std::move(next);
    rest.remove_prefix(slash);
  }
}

std::pair<std::string, std::string> SplitPath(std::string_view path) {
  std::string_view trimmed = path;
  while (trimmed.size() > 1 && trimmed.ends_with('/')) {
    trimmed.remove_suffix(1);
  }
  const std::size_t slash = trimmed.rfind('/');
  if (slash == std::string_view::npos) {
    return {".", std::string(trimmed)};
  }
  return {slash == 0 ? "/" : std::string(trimmed.substr(0, slash)),
          std::string(trimmed.substr(slash + 1))};
}

std::optional<int> DescriptorNamed(const std::string& path) {
  const std::string ownProcess = RealPath("/proc/self").value_or("");
  std::string current = path;
  for (int links = 0; links < 40 && !current.empty() && !current.ends_with('/'); ++links) {
    const auto [folder, name] = SplitPath(current);
    const std::optional<std::string> realFolder = RealPath(folder);
    if (!realFolder || name == "." || name == "..") {
      return std::nullopt;
    }
    if (const std::optional<int> fd = DescriptorIn(*realFolder, name, ownProcess)) {
      return fd;
    }
    std::optional<std::string> target = LinkTarget(*realFolder, name);
    if (!target) {
      return std::nullopt;
    }
    current = std::move(*target);
  }
  return std::nullopt;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

}  // namespace fileSystem
