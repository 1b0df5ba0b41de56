// What the JavaScript package reads of the C interface besides its functions:
// the layout of pokopen_error, pinned here so that a change to the struct
// fails the build instead of misreading memory.
#include <cstddef>

#include "pokopen.h"

static_assert(sizeof(void*) == 4, "the package reads 32-bit pointers");
static_assert(offsetof(pokopen_error, code) == 0);
static_assert(offsetof(pokopen_error, encoding) == 4);
static_assert(offsetof(pokopen_error, guessed) == 8);
static_assert(offsetof(pokopen_error, byte_offset) == 24);
static_assert(offsetof(pokopen_error, offset) == 32);
static_assert(offsetof(pokopen_error, line) == 40);
static_assert(offsetof(pokopen_error, column) == 48);
static_assert(offsetof(pokopen_error, code_point) == 56);
static_assert(offsetof(pokopen_error, count) == 64);
static_assert(offsetof(pokopen_error, message) == 72);

extern "C" {

// The room a pokopen_error takes, for the package to allocate.
__attribute__((used)) size_t pokopen_wasm_error_size(void) {
  return sizeof(pokopen_error);
}

}  // extern "C"
