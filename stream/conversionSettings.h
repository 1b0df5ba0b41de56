// How texts are converted: the style and flags, how the input is read and the
// output written, and on how many threads.
#pragma once

#include "mdlFlexConv.h"
#include "textReader.h"
#include "textWriter.h"

namespace streamConversion {

struct Settings {
  mdlFlexConv::Style style = mdlFlexConv::Style::Standard;
  // As the window starts: first- and second-person words converted.
  mdlFlexConv::Flags flags{.pokoru = false, .first = true, .second = true, .force = false};
  textFiles::InputEncoding inputEncoding = textFiles::InputEncoding::Auto;
  textFiles::WriteFormat output;  // the encoding written, and LF or CR LF
  // Threads converting, the calling one among them; 0 is one for each core.
  unsigned jobs = 0;
};

}  // namespace streamConversion
