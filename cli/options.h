// The command line of pokopen-convert: GNU-style options, read with getopt_long.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "conversionSettings.h"

namespace pokopenConvert {

// Where the results go.
enum class Destination {
  StandardOutput,  // one after another
  OutputFile,      // -o FILE, for one input
  OutputFolder,    // -d DIR, each under its input's own name
  InPlace,         // -i, each input replaced by its result
};

struct Options {
  streamConversion::Settings settings;
  Destination destination = Destination::StandardOutput;
  std::string output;  // the file of -o or the folder of -d
  bool quiet = false;
  std::vector<std::string> inputs;  // "-" is standard input; none means "-"
};

enum class Action { Convert, Help, Version, UsageError };

struct CommandLine {
  Action action = Action::Convert;
  Options options;
  // For Action::UsageError: what is wrong, unless getopt_long said it already.
  std::optional<std::string> error;
};

// Parses the arguments that follow the program name. getopt_long reports the
// options it does not know itself, on standard error.
CommandLine ParseCommandLine(std::span<const std::string_view> args);

// The text of --help.
std::string_view HelpText();

}  // namespace pokopenConvert
