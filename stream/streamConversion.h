// The conversion of whole streams and files: each source is read (its
// encoding detected or named), cut where the rules allow into pieces that are
// converted on several threads, encoded and written in order, to a
// descriptor or into files that are replaced all at once.
#pragma once

#include <span>

#include "conversionReport.h"
#include "conversionRequest.h"
#include "conversionSettings.h"

namespace streamConversion {

// Converts each source, as a text of its own, to the destination, telling
// the observer of its progress and of each failure. Never throws: running out
// of memory stops the run and is part of the outcome.
Outcome Convert(const Settings& settings, std::span<const Source> sources,
                const Destination& destination, Observer& observer);

}  // namespace streamConversion
