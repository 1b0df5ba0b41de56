// How many files a run may write at once within the process's limit on open
// descriptors.
#pragma once

#include <cstddef>

namespace streamConversion::detail {

// Each file being written holds two descriptors (its folder and its new
// contents); a few more are kept free for reading an input and for the steps
// of putting a file in place. At least one, at most a few dozen.
std::size_t OutputsThatFit();

}  // namespace streamConversion::detail
