#include "temporaryNames.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace textFiles {

namespace {

constexpr std::array kEndingSignals = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1,
                                       SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF};
constexpr std::string_view kMark = ".pokopen-";
constexpr std::size_t kRandomLength = 6;
constexpr int kMostAttempts = 100;

sigset_t EndingSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signalNumber : kEndingSignals) {
    sigaddset(&signals, signalNumber);
  }
  return signals;
}

// The named temporary files in progress, for a signal handler to remove: a
// handler can reach nothing but static storage.
struct PendingTemporary {
  std::atomic<bool> claimed{false};
  std::atomic<int> folder{-1};  // set once the name is in place
  char name[NAME_MAX + 1] = {};
};
std::array<PendingTemporary, 128> pendingTemporaries;

extern "C" void RemovePendingTemporariesAndDie(int signalNumber) {
  for (PendingTemporary& slot : pendingTemporaries) {
    const int folder = slot.folder.load();
    if (folder >= 0) {
      unlinkat(folder, slot.name, 0);
    }
  }
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

// What the naming child needs, all made ready before it starts.
struct Naming {
  int folder = -1;
  int file = -1;
  const char* self = nullptr;  // the file's name under /proc/self/fd
  const char* passing = nullptr;
  const char* name = nullptr;
};

// Links the file under the passing name and renames that over the target;
// returns 0 or the errno of the failure. It runs in a vfork child, on this
// process's memory, so it makes system calls only, through syscall(2), which
// no sanitizer intercepts.
[[gnu::no_sanitize("address", "thread", "undefined")]] int NameInChild(const Naming& naming) {
  long linked =
      syscall(SYS_linkat, AT_FDCWD, naming.self, naming.folder, naming.passing, AT_SYMLINK_FOLLOW);
  if (linked != 0 && errno == ENOENT) {
    // Without /proc, only a privileged program may link a descriptor.
    linked = syscall(SYS_linkat, naming.file, "", naming.folder, naming.passing, AT_EMPTY_PATH);
  }
  if (linked != 0) {
    return errno;
  }
  if (syscall(SYS_renameat2, naming.folder, naming.passing, naming.folder, naming.name, 0) != 0) {
    const int errnum = errno;
    syscall(SYS_unlinkat, naming.folder, naming.passing, 0);
    return errnum;
  }
  return 0;
}

// Whether the file open as naming.file is now the one named naming.name.
bool IsInPlace(const Naming& naming) {
  struct stat named {};
  struct stat file {};
  return fstatat(naming.folder, naming.name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstat(naming.file, &file) == 0 && named.st_dev == file.st_dev &&
         named.st_ino == file.st_ino;
}

// Runs NameInChild in a vfork child and waits for it: being a process of its
// own, it finishes the step even if this process is killed meanwhile.
int NameThroughChild(const Naming& naming) {
  const pid_t child = vfork();
  if (child == 0) {
    syscall(SYS_exit_group, NameInChild(naming));
    __builtin_unreachable();
  }
  if (child < 0) {
    return NameInChild(naming);  // no child to be had: the step as it is
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      // Waited for by a handler of the program's own: the file tells.
      return IsInPlace(naming) ? 0 : EIO;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : EINTR;
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemovePendingTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  for (const int signalNumber : kEndingSignals) {
    struct sigaction previous {};
    // A signal the caller chose to ignore stays ignored.
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      sigaction(signalNumber, &action, nullptr);
    }
  }
}

EndingSignalsHeldBack::EndingSignalsHeldBack() {
  const sigset_t signals = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

EndingSignalsHeldBack::~EndingSignalsHeldBack() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

namespace detail {

std::string TemporaryName(std::string_view name) {
  constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::array<unsigned char, kRandomLength> random{};
  if (getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
    const auto seed = static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr));
    for (std::size_t i = 0; i < random.size(); ++i) {
      random[i] = static_cast<unsigned char>(seed >> (4 * i));
    }
  }
  std::string temporary;
  if (1 + name.size() + kMark.size() + kRandomLength <= NAME_MAX) {
    temporary.append(".").append(name);
  }
  temporary.append(kMark);
  for (const unsigned char byte : random) {
    temporary.push_back(kAlphabet[byte % kAlphabet.size()]);
  }
  return temporary;
}

bool Remember(int folder, const std::string& name) {
  for (PendingTemporary& slot : pendingTemporaries) {
    bool expected = false;
    if (slot.claimed.compare_exchange_strong(expected, true)) {
      std::memcpy(slot.name, name.c_str(), std::min(name.size() + 1, sizeof slot.name));
      slot.folder.store(folder);
      return true;
    }
  }
  return false;
}

void Forget(int folder, const std::string& name) {
  for (PendingTemporary& slot : pendingTemporaries) {
    if (slot.folder.load() == folder && name == slot.name) {
      slot.folder.store(-1);
      slot.claimed.store(false);
      return;
    }
  }
}

int ReplaceWithUnnamed(int folder, int file, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(file);
  for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
    const std::string passing = TemporaryName(name);
    const Naming naming{folder, file, self.c_str(), passing.c_str(), name.c_str()};
    // A signal waits until the step is done; should one end the program from
    // another thread meanwhile, the handler knows the passing name.
    const EndingSignalsHeldBack heldBack;
    const bool remembered = Remember(folder, passing);
    const int errnum = NameThroughChild(naming);
    if (remembered) {
      Forget(folder, passing);
    }
    if (errnum != EEXIST) {
      return errnum;
    }
  }
  return EEXIST;
}

}  // namespace detail

}  // namespace textFiles
