// What every function of the C interface shares: checking arguments, turning
// failures into a status and a filled pokopen_error, and handing results over
// in memory that pokopen_free releases.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fileError.h"
#include "mdlFlexConv.h"
#include "pokopen.h"
#include "textCodec.h"
#include "textReader.h"

namespace pokopenApi {

// A failure that ends a call, thrown inside it and caught at its edge.
struct ApiFailure {
  pokopen_error error;
};

[[noreturn]] void FailWith(pokopen_status code, std::string_view message);
// Text given as UTF-8 that is not valid at `offset`.
[[noreturn]] void FailInvalidUtf8(std::uint64_t offset);

// Every argument check: a null pointer, an unknown style or flag bit.
void RequirePointer(const void* pointer, std::string_view name);
mdlFlexConv::Style StyleOf(int style);
// The conversion flags of `flags`, which may also hold POKOPEN_CRLF and
// POKOPEN_LF_IN_LINE.
mdlFlexConv::Flags ConversionFlagsOf(unsigned flags);
void RequireOptions(unsigned options);

// The encodings as the library's parts know them.
textFiles::InputEncoding InputEncodingOf(pokopen_encoding encoding);
textCodec::Encoding OutputEncodingOf(pokopen_encoding encoding);
pokopen_encoding EncodingOf(textCodec::Encoding encoding);

// Sets the error's English message.
void SetMessage(pokopen_error& error, std::string_view message);
// The error of a problem met reading or writing.
pokopen_error ErrorOf(const textFiles::Problem& problem, bool inOutput);
// Fills error (which may be null) and returns its code.
pokopen_status Report(pokopen_error* error, const pokopen_error& filled);

// Characters an encoding cannot hold, as the error reports them.
struct Unencodable {
  textCodec::Unencodable first;
  std::size_t index = 0;  // of the first, in the text's units
  std::uint64_t count = 0;
};
std::optional<Unencodable> UnencodableIn(textCodec::Encoding encoding, std::u16string_view text);
// `named` is the encoding as the caller named it, `written` as it is written.
[[noreturn]] void FailUnencodable(pokopen_encoding named, textCodec::Encoding written,
                                  const Unencodable& found, std::uint64_t offset);

pokopen_status ReportCode(pokopen_error* error, pokopen_status code,
                          std::string_view message) noexcept;

// Runs the body of a C function: whatever it throws becomes a status, and
// error is filled either way.
template <typename Body>
pokopen_status Guarded(pokopen_error* error, Body&& body) noexcept {
  try {
    body();
    return Report(error, pokopen_error{});
  } catch (const ApiFailure& failure) {
    return Report(error, failure.error);
  } catch (const textFiles::FileError& failure) {
    return Report(error, ErrorOf(failure.What(), false));
  } catch (const std::bad_alloc&) {
    return ReportCode(error, POKOPEN_ERROR_NO_MEMORY, "not enough memory");
  } catch (const std::length_error&) {
    // A text longer than a string can hold is out of memory too.
    return ReportCode(error, POKOPEN_ERROR_NO_MEMORY, "not enough memory");
  } catch (...) {
    return ReportCode(error, POKOPEN_ERROR_SYSTEM, "unexpected internal failure");
  }
}

// Memory of `count` elements of T and one more for a closing zero, from the
// allocator pokopen_free gives back to. Owned until Release.
template <typename T>
class Result {
 public:
  Result() = default;
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result() { std::free(data_); }

  // Room for at least `count` elements after the `size` written so far.
  T* Room(std::size_t count) {
    if (size_ + count + 1 > capacity_) {
      const std::size_t capacity = std::max(size_ + count + 1, 2 * capacity_);
      void* grown = std::realloc(data_, capacity * sizeof(T));
      if (grown == nullptr) {
        throw std::bad_alloc();
      }
      data_ = static_cast<T*>(grown);
      capacity_ = capacity;
    }
    return data_ + size_;
  }
  void Wrote(std::size_t count) { size_ += count; }
  void Append(const T* units, std::size_t count) {
    std::copy(units, units + count, Room(count));
    Wrote(count);
  }

  // Hands the memory to the caller, with its closing zero.
  void Release(T** data, std::size_t* length) {
    Room(0)[0] = T{};
    *data = data_;
    *length = size_;
    data_ = nullptr;
    size_ = capacity_ = 0;
  }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Clears the result pointers a failed call leaves behind.
template <typename T>
void ClearResult(T** data, std::size_t* length) {
  if (data != nullptr) {
    *data = nullptr;
  }
  if (length != nullptr) {
    *length = 0;
  }
}

// The encoding found is AUTO until a decoding succeeds.
inline void ClearFound(pokopen_encoding* found) {
  if (found != nullptr) {
    *found = POKOPEN_ENCODING_AUTO;
  }
}

}  // namespace pokopenApi
