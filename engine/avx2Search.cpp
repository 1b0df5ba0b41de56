#include "wordSearch.h"

namespace mdlFlexConv::detail {

bool SearchesWithAvx2() {
#if defined(__x86_64__)
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has;
#else
  return false;
#endif
}

}  // namespace mdlFlexConv::detail
