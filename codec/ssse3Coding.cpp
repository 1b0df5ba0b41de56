#include "ssse3Coding.h"

namespace textCodec::detail {

bool CodesWithSsse3() {
#if defined(__x86_64__)
  static const bool has = __builtin_cpu_supports("ssse3") != 0;
  return has;
#else
  return false;
#endif
}

}  // namespace textCodec::detail
