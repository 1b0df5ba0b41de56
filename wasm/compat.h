// Included before every source of the WebAssembly build: what the sources
// take from the x86 build environment and from a newer C++ library.
#pragma once

// The SSE2 paths run on WebAssembly SIMD through Emscripten's <emmintrin.h>,
// which the sources include on x86-64 only.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef __cplusplus
#include <cstring>
#include <memory>

// A glibc function; musl's strerror is English whatever the locale anyway.
inline const char* strerrordesc_np(int errnum) {
  return std::strerror(errnum);
}

// Emscripten's libc++ does not have this C++20 function yet.
#ifndef __cpp_lib_smart_ptr_for_overwrite
namespace std {

template <typename T>
requires is_unbounded_array_v<T> unique_ptr<T> make_unique_for_overwrite(size_t count) {
  return unique_ptr<T>(new remove_extent_t<T>[count]);
}

}  // namespace std
#endif
#endif
