// Output kept back before any of it is written: megabytes at the start of
// every text written to a descriptor.
#pragma once

#include <cstddef>
#include <string_view>

namespace streamConversion::detail {

// Bytes appended in one block of memory that huge pages back where the
// system gives them for the asking (transparent huge pages in "madvise"
// mode): touching 4 MiB of small pages for the first time takes a thousand
// page faults, which cost more than converting the text on some virtual
// machines. The block is kept, and serves again, until the object goes.
class HeldOutput {
 public:
  // Room for `expected` bytes is made at the first append.
  explicit HeldOutput(std::size_t expected) : expected_(expected) {}
  ~HeldOutput();
  HeldOutput(const HeldOutput&) = delete;
  HeldOutput& operator=(const HeldOutput&) = delete;

  // Throws std::bad_alloc when no memory is left.
  void Append(std::string_view bytes);
  std::string_view View() const { return {data_, size_}; }
  std::size_t Size() const { return size_; }
  void Clear() { size_ = 0; }

 private:
  void Grow(std::size_t atLeast);

  std::size_t expected_;
  char* data_ = nullptr;
  std::size_t room_ = 0;
  std::size_t size_ = 0;
};

}  // namespace streamConversion::detail
