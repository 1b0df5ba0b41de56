// The progress line pokopen-convert shows on a terminal while work lasts more
// than about a second: files done and bytes read, rewritten in place and
// cleared at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pokopenConvert {

class ProgressLine {
 public:
  ProgressLine(bool shown, std::size_t files);

  // Bytes read of the current file so far.
  void Read(std::uint64_t bytes);
  void FileDone();
  // Takes the line away, before a message or at the end.
  void Clear();

 private:
  void Show();

  using Clock = std::chrono::steady_clock;
  bool shown_;
  std::size_t files_;
  std::size_t filesDone_ = 0;
  std::uint64_t bytesBefore_ = 0;  // of the files done
  std::uint64_t bytes_ = 0;        // of the current file
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastShown_{};
  bool onScreen_ = false;
};

}  // namespace pokopenConvert
