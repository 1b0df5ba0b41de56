// Linked in place of the processor's answer, so that the suite runs on the
// search that processors without AVX2 take.
#include "wordSearch.h"

namespace mdlFlexConv::detail {

bool SearchesWithAvx2() {
  return false;
}

}  // namespace mdlFlexConv::detail
