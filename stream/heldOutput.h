// Output kept back before any of it is written: megabytes at the start of
// every text written to a descriptor.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
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

  // Throws std::bad_alloc when no memory is left.
  void Append(std::string_view bytes);
  std::string_view View() const { return {data_.get(), size_}; }
  std::size_t Size() const { return size_; }
  void Clear() { size_ = 0; }

 private:
  struct Free {
    void operator()(char* block) const { std::free(block); }
  };
  using Block = std::unique_ptr<char, Free>;

  void Grow(std::size_t atLeast);

  std::size_t expected_;
  Block data_;
  std::size_t room_ = 0;
  std::size_t size_ = 0;
};

}  // namespace streamConversion::detail
