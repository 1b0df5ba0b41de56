// Whether the processor runs the SSSE3 paths of UTF-8 reading and writing;
// asked once. It is defined in a file of its own, ssse3Coding.cpp, so that the
// tests and benchmarks of the plain paths can link an answer of their own in
// its place.
#pragma once

namespace textCodec::detail {

bool CodesWithSsse3();

}  // namespace textCodec::detail
