#include "fileSystem.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace fileSystem {

namespace {

std::optional<int> NumberAfter(std::string_view path, std::string_view prefix) {
  if (!path.starts_with(prefix) || path.size() == prefix.size()) {
    return std::nullopt;
  }
  const std::string_view digits = path.substr(prefix.size());
  int fd = -1;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
  if (error != std::errc{} || end != digits.data() + digits.size() || fd < 0) {
    return std::nullopt;
  }
  return fd;
}

std::optional<int> DescriptorOfName(std::string_view path) {
  if (path == "/dev/stdin") {
    return 0;
  }
  if (path == "/dev/stdout") {
    return 1;
  }
  if (path == "/dev/stderr") {
    return 2;
  }
  const std::string ownProcess = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string_view prefix :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
        std::string_view("/proc/thread-self/fd/"), std::string_view(ownProcess)}) {
    if (const std::optional<int> fd = NumberAfter(path, prefix)) {
      return fd;
    }
  }
  return std::nullopt;
}

// The path a symbolic link points at, relative links taken from its folder;
// nullopt for anything that is not a link.
std::optional<std::string> LinkTarget(const std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
    return std::nullopt;
  }
  target.resize(static_cast<std::size_t>(length));
  if (target.starts_with('/')) {
    return target;
  }
  const auto [folder, name] = SplitPath(path);
  return folder + "/" + target;
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
  std::string current = path;
  for (int links = 0; links < 40; ++links) {
    if (const std::optional<int> fd = DescriptorOfName(current)) {
      return fd;
    }
    std::optional<std::string> target = LinkTarget(current);
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
