// The whole run of pokopen-convert once the command line is understood.
#pragma once

#include "options.h"

namespace pokopenConvert {

// Reads and checks the whole input first, then converts it in pieces and
// writes the result as it goes. Throws Failure, having written nothing to a
// file named by -o, when the input cannot be read, decoded or represented in
// the output encoding, or the output cannot be written.
void Convert(const Options& options);

}  // namespace pokopenConvert
