#include "progressLine.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "fileSystem.h"

namespace pokopenConvert {

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(250);

}  // namespace

ProgressLine::ProgressLine(bool shown, std::size_t files) : shown_(shown), files_(files) {}

void ProgressLine::Read(std::uint64_t bytes) {
  bytes_ = bytes;
  Show();
}

void ProgressLine::FileDone() {
  ++filesDone_;
  bytesBefore_ += bytes_;
  bytes_ = 0;
  Show();
}

void ProgressLine::Show() {
  if (!shown_) {
    return;
  }
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietStart || now - lastShown_ < kInterval) {
    return;
  }
  lastShown_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double mebibytes = static_cast<double>(bytesBefore_ + bytes_) / (1 << 20);
  char line[160];
  std::snprintf(line, sizeof line, "\r%zu/%zu files, %.1f MiB read, %.1f MiB/s\x1B[K", filesDone_,
                files_, mebibytes, mebibytes / seconds);
  static_cast<void>(fileSystem::WriteAll(STDERR_FILENO, line));
  onScreen_ = true;
}

void ProgressLine::Clear() {
  if (onScreen_) {
    static_cast<void>(fileSystem::WriteAll(STDERR_FILENO, "\r\x1B[K"));
    onScreen_ = false;
  }
}

}  // namespace pokopenConvert
