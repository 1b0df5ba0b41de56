// Linked in place of the processor's answer, so that the suite runs on the
// plain paths that processors without SSSE3 take.
#include "vectorCoding.h"

namespace textCodec::detail {

VectorPaths CodingPaths() {
  return VectorPaths::Plain;
}

}  // namespace textCodec::detail
