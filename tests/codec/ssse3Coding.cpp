// Linked in place of the processor's answer, so that the suite runs on the
// SSSE3 paths that processors without AVX2 take.
#include "vectorCoding.h"

namespace textCodec::detail {

VectorPaths CodingPaths() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("ssse3") != 0 ? VectorPaths::Ssse3 : VectorPaths::Plain;
#else
  return VectorPaths::Plain;
#endif
}

}  // namespace textCodec::detail
