#include "heldOutput.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace streamConversion::detail {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundedToHugePages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// Room aligned to a huge page, so that huge pages can back all of it. The
// mapping is made larger by a huge page and its unaligned ends given back.
char* MapAligned(std::size_t room) {
  const std::size_t mapped = room + kHugePage;
  void* const start =
      mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) {
    throw std::bad_alloc();
  }
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t aligned = (address + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > address) {
    munmap(start, aligned - address);
  }
  if (aligned + room < address + mapped) {
    munmap(reinterpret_cast<void*>(aligned + room), address + mapped - (aligned + room));
  }
  // Only a hint: without it, or where it is refused, small pages serve.
  madvise(reinterpret_cast<void*>(aligned), room, MADV_HUGEPAGE);
  return reinterpret_cast<char*>(aligned);
}

}  // namespace

HeldOutput::~HeldOutput() {
  if (data_ != nullptr) {
    munmap(data_, room_);
  }
}

void HeldOutput::Append(std::string_view bytes) {
  if (bytes.empty()) {
    return;  // nothing to copy, and perhaps no block yet
  }
  if (room_ - size_ < bytes.size()) {
    Grow(size_ + bytes.size());
  }
  std::memcpy(data_ + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
}

void HeldOutput::Grow(std::size_t atLeast) {
  const std::size_t room = RoundedToHugePages(std::max({atLeast, 2 * room_, expected_}));
  char* const data = MapAligned(room);
  if (data_ != nullptr) {
    std::memcpy(data, data_, size_);
    munmap(data_, room_);
  }
  data_ = data;
  room_ = room;
}

}  // namespace streamConversion::detail
