#include "heldOutput.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace streamConversion::detail {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void HeldOutput::Append(std::string_view bytes) {
  if (bytes.empty()) {
    return;  // nothing to copy, and perhaps no block yet
  }
  if (room_ - size_ < bytes.size()) {
    Grow(size_ + bytes.size());
  }
  std::memcpy(data_.get() + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
}

// The block is aligned to a huge page and a whole number of them, so that
// huge pages can back all of it.
void HeldOutput::Grow(std::size_t atLeast) {
  const std::size_t wanted = std::max({atLeast, 2 * room_, expected_});
  const std::size_t room = (wanted + kHugePage - 1) / kHugePage * kHugePage;
  Block data(static_cast<char*>(std::aligned_alloc(kHugePage, room)));
  if (!data) {
    throw std::bad_alloc();
  }
  // Only a hint: without it, or where it is refused, small pages serve.
  madvise(data.get(), room, MADV_HUGEPAGE);
  if (size_ > 0) {
    std::memcpy(data.get(), data_.get(), size_);
  }
  data_ = std::move(data);
  room_ = room;
}

}  // namespace streamConversion::detail
