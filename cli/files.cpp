#include "files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

namespace pokopenConvert {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::string SystemMessage(int error) {
  return std::strerror(error);
}

// The temporary file being written, removed should the program be
// interrupted. A signal handler can reach nothing but static storage.
char pendingTemporary[4096];
volatile std::sig_atomic_t temporaryPending = 0;

extern "C" void RemovePendingTemporaryAndDie(int signalNumber) {
  if (temporaryPending != 0) {
    ::unlink(pendingTemporary);
  }
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

void WatchForInterruption(const std::string& temporary) {
  if (temporary.size() >= sizeof pendingTemporary) {
    return;
  }
  std::memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
  temporaryPending = 1;
  struct sigaction action {};
  action.sa_handler = RemovePendingTemporaryAndDie;
  sigemptyset(&action.sa_mask);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    // A signal the caller chose to ignore stays ignored.
    if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      ::sigaction(signalNumber, &action, nullptr);
    }
  }
}

void StopWatching() {
  temporaryPending = 0;
}

void WriteAll(int fd, std::string_view bytes, std::string_view name) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw Failure(name, SystemMessage(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

Failure::Failure(std::string_view file, std::string_view what)
    : std::runtime_error(std::string(file) + ": " + std::string(what)) {}

std::string InputName(std::string_view path) {
  return path == "-" ? "standard input" : std::string(path);
}

std::string OutputName(std::string_view path) {
  return path == "-" ? "standard output" : std::string(path);
}

InputFile::InputFile(const std::string& path) : name_(InputName(path)) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      throw Failure(name_, SystemMessage(errno));
    }
    ownsFd_ = true;
  }
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    sizeHint_ = static_cast<std::size_t>(info.st_size);
  }
}

InputFile::~InputFile() {
  if (ownsFd_) {
    ::close(fd_);
  }
}

std::size_t InputFile::Read(char* into, std::size_t room) {
  for (;;) {
    const ssize_t count = ::read(fd_, into, room);
    if (count >= 0) {
      return static_cast<std::size_t>(count);
    }
    if (errno != EINTR) {
      throw Failure(name_, SystemMessage(errno));
    }
  }
}

void AdviseHugePages(void* block, std::size_t bytes) {
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
  const std::uintptr_t last = (start + bytes) / kHugePage * kHugePage;
  if (last > first) {
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

Output::Output(const std::string& path) : name_(OutputName(path)) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    // A terminal, /dev/null or a pipe is written as it is.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      throw Failure(name_, SystemMessage(errno));
    }
    ownsFd_ = true;
    return;
  }
  try {
    file_.emplace(path);
  } catch (const std::system_error& e) {
    throw Failure(name_, SystemMessage(e.code().value()));
  }
  WatchForInterruption(file_->TemporaryPath());
}

Output::~Output() {
  Discard();
}

void Output::Discard() noexcept {
  if (ownsFd_) {
    ::close(fd_);
    ownsFd_ = false;
  }
  if (file_) {
    file_.reset();
    StopWatching();
  }
}

void Output::Write(std::string_view bytes) {
  if (!file_) {
    WriteAll(fd_, bytes, name_);
    return;
  }
  try {
    file_->Write(bytes);
  } catch (const std::system_error& e) {
    throw Failure(name_, SystemMessage(e.code().value()));
  }
}

void Output::Commit() {
  if (!file_) {
    if (ownsFd_) {
      ownsFd_ = false;
      if (::close(fd_) != 0) {
        throw Failure(name_, SystemMessage(errno));
      }
    }
    return;
  }
  try {
    file_->Commit();
  } catch (const std::system_error& e) {
    throw Failure(name_, SystemMessage(e.code().value()));
  }
  file_.reset();
  StopWatching();
}

void WriteToStandardOutput(std::string_view bytes) {
  WriteAll(STDOUT_FILENO, bytes, OutputName("-"));
}

}  // namespace pokopenConvert
