// The command line of pokopen-convert: GNU-style options, at most one FILE.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pokopenConvert {

enum class Encoding { Utf8, Cp932 };

struct Options {
  int style = 0;
  bool pokoru = false;
  bool first = true;
  bool second = true;
  bool force = false;
  Encoding inputEncoding = Encoding::Utf8;
  Encoding outputEncoding = Encoding::Utf8;
  bool crlf = false;
  std::string inputPath = "-";   // "-" is standard input
  std::string outputPath = "-";  // "-" is standard output
};

enum class Action { Convert, Help, Version, UsageError };

struct CommandLine {
  Action action = Action::Convert;
  Options options;
  std::string error;  // what is wrong, for Action::UsageError
};

// Parses the arguments that follow the program name.
CommandLine ParseCommandLine(std::span<const std::string_view> args);

// The text of --help, which usage errors print as well.
std::string_view UsageText();

}  // namespace pokopenConvert
