#include "allocationFailures.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace allocationFailures {

namespace {

// Read by every allocation of the program, on any thread.
std::atomic<bool> armed{false};
std::atomic<Threads> failingThreads{Threads::Main};
std::atomic<std::size_t> leastBytes{0};
std::atomic<int> spare{0};
std::atomic<int> failed{0};
const std::thread::id mainThread = std::this_thread::get_id();

bool Fails(std::size_t bytes) {
  if (!armed.load(std::memory_order_relaxed) || bytes < leastBytes.load()) {
    return false;
  }
  const bool onMain = std::this_thread::get_id() == mainThread;
  if (onMain != (failingThreads.load() == Threads::Main)) {
    return false;
  }
  if (spare.fetch_sub(1) > 0) {
    return false;
  }
  failed.fetch_add(1);
  return true;
}

}  // namespace

void Arm(Threads threads, std::size_t bytes, int spared) {
  failed = 0;
  failingThreads = threads;
  leastBytes = bytes;
  spare = spared;
  armed = true;
}

int Disarm() {
  armed = false;
  return failed.load();
}

}  // namespace allocationFailures

void* operator new(std::size_t bytes) {
  if (allocationFailures::Fails(bytes)) {
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(bytes != 0 ? bytes : 1)) {
    return memory;
  }
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
