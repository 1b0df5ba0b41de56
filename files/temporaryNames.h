// The names the writer's files pass through on their way into place, and
// what becomes of them when the program is ended by a signal.
//
// A new file is written unnamed (O_TMPFILE) and linked under its name only
// once complete. An existing file cannot be replaced by a link, so the new
// one is linked under a passing name and renamed over it; that step runs in
// a vfork child, which finishes it even when this process is killed
// meanwhile. Where the file system cannot make
// unnamed files, the new file is written under a temporary name from the
// start: a signal that can be caught removes it, but SIGKILL leaves it.
#pragma once

#include <signal.h>

#include <string>
#include <string_view>

namespace textFiles {

// Removes the named temporary files of writers in progress, should the
// program be ended by a signal. Call once at start, in a program (not in a
// library).
void RemoveTemporaryFilesOnSignals();

// Holds back, in the calling thread and for as long as it lives, the signals
// on which RemoveTemporaryFilesOnSignals acts. Threads started meanwhile keep
// them held back for good, so that a signal is taken by a thread that names
// files, between two of its steps.
class EndingSignalsHeldBack {
 public:
  EndingSignalsHeldBack();
  ~EndingSignalsHeldBack();
  EndingSignalsHeldBack(const EndingSignalsHeldBack&) = delete;
  EndingSignalsHeldBack& operator=(const EndingSignalsHeldBack&) = delete;

 private:
  sigset_t previous_;
};

namespace detail {

// ".NAME.pokopen-" and six random letters and digits, for a file that is to
// become NAME; ".pokopen-" and the six alone where NAME would make it too long.
std::string TemporaryName(std::string_view name);

// Registers a temporary file in a folder, for the signal handler to remove;
// false when too many are registered already.
bool Remember(int folder, const std::string& name);
void Forget(int folder, const std::string& name);

// Puts the unnamed file open as `file` in place of `name` in folder, through
// a passing name, in one step that this process being killed cannot cut
// short. Returns 0, or the errno of the failure (the target is then as it
// was).
int ReplaceWithUnnamed(int folder, int file, const std::string& name);

}  // namespace detail

}  // namespace textFiles
