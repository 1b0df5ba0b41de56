// What pokopen-convert says on standard error, in the manner of GNU tools.
#pragma once

#include <string>
#include <string_view>

#include "fileError.h"

namespace pokopenConvert {

inline constexpr std::string_view kProgramName = "pokopen-convert";

// A value in a usage message, in single quotes: 'value'. Control characters
// and bytes of invalid UTF-8 are shown as $'\n', $'\377' and the like, so
// that nothing typed can forge a line of output or upset the terminal.
std::string Quoted(std::string_view value);

// A file name as GNU tools show it in messages: as it is when it needs no
// quoting, else quoted as above.
std::string ShownName(std::string_view name);

// "pokopen-convert: " and the message, on one line of standard error.
void PrintError(std::string_view message);

// What went wrong with a file, in words; a refusal of a detected encoding
// says how to name the other one.
std::string Describe(const textFiles::Problem& problem);

}  // namespace pokopenConvert
