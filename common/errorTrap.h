// The runtime error of the common routines and the window's file commands, its
// report, and the trap that reports a failed step and lets the routine go on.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "platform.h"

namespace mdlPokoConv {

inline constexpr std::u16string_view kProgramName = u"ぽこぺん";

// Error numbers, one per kind of failure, as the classic runtime numbered them.
inline constexpr std::int32_t kErrInvalidArgument = 5;
inline constexpr std::int32_t kErrOutOfMemory = 7;
inline constexpr std::int32_t kErrFileNotFound = 53;
inline constexpr std::int32_t kErrDeviceIo = 57;
inline constexpr std::int32_t kErrDiskFull = 61;
inline constexpr std::int32_t kErrPermissionDenied = 70;
inline constexpr std::int32_t kErrPathFileAccess = 75;

struct RuntimeError {
  std::int32_t Number = 0;
  std::u16string Description;
};

// How a failing step raises its RuntimeError.
class RuntimeErrorException : public std::exception {
 public:
  explicit RuntimeErrorException(RuntimeError error) : error_(std::move(error)) {}
  const RuntimeError& Error() const noexcept { return error_; }
  const char* what() const noexcept override { return "pokopen runtime error"; }

 private:
  RuntimeError error_;
};

// ASCII text, such as a number's digits, as UTF-16.
std::u16string AsciiText(std::string_view ascii);

// Our number for an errno value met by a file operation.
std::int32_t ErrorNumberForErrno(int errnum);

// The system's own message for errnum, in the user's language where the
// locale provides one.
std::u16string SystemMessage(int errnum);

// A one-line error naming the path: "<path>: <detail>".
RuntimeError PathError(std::int32_t number, std::u16string_view path, std::u16string_view detail);
// The same for a failed system call, with its errno.
RuntimeError SystemError(int errnum, std::u16string_view path);

// Shows the five-line error report in a system-modal box and waits until it is
// dismissed. `location` names the routine that trapped the error.
void ReportError(platform::Services& services, std::u16string_view location,
                 const RuntimeError& error);

// The trap of a routine: each Step runs one step of it; when the step fails,
// the failure is reported once with the routine's location and Step returns
// false so the routine can go on with its next step. A step that assigns its
// result only at its end therefore stores nothing when it fails. No exception
// leaves a Step.
class ErrorTrap {
 public:
  // `location` is the routine's fixed location text and must outlive the trap.
  ErrorTrap(platform::Services& services, std::u16string_view location)
      : services_(services), location_(location) {}

  template <typename Callable>
  bool Step(Callable&& step) noexcept {
    try {
      std::forward<Callable>(step)();
      return true;
    } catch (...) {
      ReportCurrentException();
      return false;
    }
  }

  platform::Services& Services() const noexcept { return services_; }

 private:
  // Called only from inside a catch block.
  void ReportCurrentException() noexcept;

  platform::Services& services_;
  std::u16string_view location_;
};

// Shows the hourglass for as long as it lives and the default pointer after
// it. Given a trap, each change is a step of it; without one (a command that
// has no trap), a failure to change the pointer goes to the caller, or, when
// the pointer is put back, is ignored.
class HourglassPointer {
 public:
  explicit HourglassPointer(ErrorTrap& trap);
  explicit HourglassPointer(platform::Services& services);
  ~HourglassPointer();
  HourglassPointer(const HourglassPointer&) = delete;
  HourglassPointer& operator=(const HourglassPointer&) = delete;

 private:
  platform::Services& services_;
  ErrorTrap* trap_ = nullptr;
};

}  // namespace mdlPokoConv
