// pokopen-convert: the window's conversion for scripts and batch work.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "conversion.h"
#include "fileSystem.h"
#include "messages.h"
#include "options.h"
#include "pokopenVersion.h"
#include "textCodec.h"
#include "textWriter.h"
#include "versionText.h"

namespace {

std::string Utf8(std::u16string_view text) {
  return textCodec::EncodeUtf8(text).bytes;
}

std::string VersionText() {
  std::string text(pokopenConvert::kProgramName);
  text += ' ' + Utf8(pokopenVersion::ProgramVersionText()) + '\n';
  text += "Copyright (C) " + Utf8(pokopenVersion::kCopyrightYear) + ' ' +
          Utf8(pokopenVersion::kAuthorName) + '\n';
  text +=
      "License MIT: <https://opensource.org/licenses/MIT>.\n"
      "This is free software: you are free to change and redistribute it.\n"
      "There is NO WARRANTY, to the extent permitted by law.\n";
  return text;
}

int PrintToStandardOutput(std::string_view text) {
  if (const int errnum = fileSystem::WriteAll(STDOUT_FILENO, text)) {
    pokopenConvert::PrintError("standard output: " + std::string(std::strerror(errnum)));
    return 1;
  }
  return 0;
}

int Run(const pokopenConvert::CommandLine& commandLine) {
  using pokopenConvert::Action;
  switch (commandLine.action) {
    case Action::Help:
      return PrintToStandardOutput(pokopenConvert::HelpText());
    case Action::Version:
      return PrintToStandardOutput(VersionText());
    case Action::UsageError:
      if (commandLine.error) {
        pokopenConvert::PrintError(*commandLine.error);
      }
      std::fprintf(stderr, "Try '%s --help' for more information.\n",
                   pokopenConvert::kProgramName.data());
      return 2;
    case Action::Convert:
      return pokopenConvert::ConvertAll(commandLine.options);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe and a file-size limit are reported as failed writes, not
  // met with a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  textFiles::RemoveTemporaryFilesOnSignals();
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return Run(pokopenConvert::ParseCommandLine(args));
}
