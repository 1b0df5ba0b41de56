// Linked in place of the processor's answer, so that the suite runs on the
// plain paths that processors without SSSE3 take.
#include "ssse3Coding.h"

namespace textCodec::detail {

bool CodesWithSsse3() {
  return false;
}

}  // namespace textCodec::detail
