// The conversions of one run of pokopen-convert, once the command line is
// understood.
#pragma once

#include "options.h"

namespace pokopenConvert {

// Converts every input to its destination, reporting each failure on
// standard error and going on with the next input. Returns the exit status:
// 0 when all went well, 1 when any input failed.
int ConvertAll(const Options& options);

}  // namespace pokopenConvert
