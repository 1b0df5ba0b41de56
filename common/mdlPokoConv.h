// The common routines: the command-line splitter, the file-name dialogs, the
// error report and its trap, and the text files the window loads and saves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "errorTrap.h"
#include "platform.h"
#include "windowTextFiles.h"

namespace mdlPokoConv {

// A command line in strFirst; afterwards its first token in strFirst and the
// rest of the line in strRest, both trimmed.
struct CmdLineParts {
  std::u16string strFirst;
  std::u16string strRest;
};

// What a caller asks of a file dialog; the chosen path comes back in strPath.
struct BrowseRequest {
  std::int32_t hwndOwner = 0;
  std::int32_t hInstance = 0;
  std::u16string strFilter;  // description NUL pattern NUL ... NUL
  std::u16string strPath;    // in: initial path, its first token the file name
  std::u16string strTitle;
  std::uint32_t nFilterIndex = 1;  // in: the filter shown first; out: the one chosen (from 1)
};

// Removes the blanks (U+0020 only) at both ends.
std::u16string_view TrimBlanks(std::u16string_view text);

// Splits parts.strFirst into its first token, which may be enclosed in double
// quotation marks, and the rest of the line.
void SplitCmdLine(platform::Services& services, CmdLineParts& parts);

// The open dialog (only an existing file can be chosen) and the save dialog
// (an existing file is replaced without a question). Nonzero when a file was
// chosen: request.strPath then holds its path, enclosed in double quotation
// marks when it contains a blank. 0 when cancelled: request.strPath is left
// trimmed.
std::int32_t GetBrowsePath(platform::Services& services, BrowseRequest& request);
std::int32_t GetSaveBrowsePath(platform::Services& services, BrowseRequest& request);

// The path a dialog returned, without the double quotation marks that enclose
// it when it contains a blank.
std::u16string_view UnquotedPath(std::u16string_view path);

}  // namespace mdlPokoConv
