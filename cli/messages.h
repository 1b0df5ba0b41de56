// What pokopen-convert says on standard error, in the manner of GNU tools.
#pragma once

#include <string>
#include <string_view>

#include "fileError.h"

namespace pokopenConvert {

inline constexpr std::string_view kProgramName = "pokopen-convert";

// A value in a usage message: 'value'.
std::string Quoted(std::string_view value);

// A file name as GNU tools show it in messages: as it is when it needs no
// quoting, else in single quotes, with control characters as $'\n' and the
// like, so that no name can forge a line of output.
std::string ShownName(std::string_view name);

// "pokopen-convert: " and the message, on one line of standard error.
void PrintError(std::string_view message);

// What went wrong with a file, in words; a refusal of a detected encoding
// says how to name the other one.
std::string Describe(const textFiles::Problem& problem);

}  // namespace pokopenConvert
