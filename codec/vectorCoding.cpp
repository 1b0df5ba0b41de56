#include "vectorCoding.h"

namespace textCodec::detail {

VectorPaths CodingPaths() {
#if defined(__x86_64__)
  static const VectorPaths paths = __builtin_cpu_supports("avx2") != 0    ? VectorPaths::Avx2
                                   : __builtin_cpu_supports("ssse3") != 0 ? VectorPaths::Ssse3
                                                                          : VectorPaths::Plain;
  return paths;
#else
  return VectorPaths::Plain;
#endif
}

}  // namespace textCodec::detail
