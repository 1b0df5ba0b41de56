// Allocations that fail on demand, for the tests of running out of memory:
// this test program replaces the global operator new.
#pragma once

#include <cstddef>

namespace allocationFailures {

enum class Threads {
  Main,    // the thread that runs the test
  Others,  // any thread but that one
};

// From now on, the allocations of at least `bytes` on those threads fail,
// after the first `spared` of them.
void Arm(Threads threads, std::size_t bytes, int spared = 0);
// Allocations succeed again; returns how many failed.
int Disarm();

}  // namespace allocationFailures
