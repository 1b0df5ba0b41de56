// Which vector paths of UTF-8 reading and writing the processor runs; asked
// once. It is defined in a file of its own, vectorCoding.cpp, so that the
// tests and benchmarks of the other paths can link an answer of their own in
// its place.
#pragma once

namespace textCodec::detail {

enum class VectorPaths { Plain, Ssse3, Avx2 };

VectorPaths CodingPaths();

}  // namespace textCodec::detail
