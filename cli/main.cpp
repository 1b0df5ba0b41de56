// pokopen-convert: the window's conversion for scripts and batch work.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "conversion.h"
#include "files.h"
#include "options.h"
#include "textCodec.h"
#include "versionText.h"

namespace {

constexpr std::string_view kProgram = "pokopen-convert";

void PrintError(std::string_view message) {
  std::string line(kProgram);
  line.append(": ").append(message).push_back('\n');
  std::fputs(line.c_str(), stderr);
}

std::string VersionLine() {
  std::string line(kProgram);
  line.push_back(' ');
  textCodec::AppendUtf8(pokopenVersion::ProgramVersionText(), line);
  line.push_back('\n');
  return line;
}

int Run(const pokopenConvert::CommandLine& commandLine) {
  using pokopenConvert::Action;
  switch (commandLine.action) {
    case Action::Help:
      pokopenConvert::WriteToStandardOutput(pokopenConvert::UsageText());
      return 0;
    case Action::Version:
      pokopenConvert::WriteToStandardOutput(VersionLine());
      return 0;
    case Action::UsageError:
      PrintError(commandLine.error);
      std::fputs(std::string(pokopenConvert::UsageText()).c_str(), stderr);
      return 2;
    case Action::Convert:
      pokopenConvert::Convert(commandLine.options);
      return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is reported as a failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  try {
    return Run(pokopenConvert::ParseCommandLine(args));
  } catch (const pokopenConvert::Failure& failure) {
    PrintError(failure.what());
    return 1;
  } catch (const std::exception& unexpected) {
    PrintError(unexpected.what());
    return 1;
  }
}
