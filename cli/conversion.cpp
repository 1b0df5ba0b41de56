#include "conversion.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "messages.h"
#include "progressLine.h"
#include "streamConversion.h"

namespace pokopenConvert {

namespace {

streamConversion::Destination DestinationOf(const Options& options) {
  using streamConversion::Destination;
  switch (options.destination) {
    case pokopenConvert::Destination::StandardOutput:
      break;
    case pokopenConvert::Destination::OutputFile:
      return Destination::ToFile(options.output);
    case pokopenConvert::Destination::OutputFolder:
      return Destination::IntoFolder(options.output);
    case pokopenConvert::Destination::InPlace:
      return Destination::InPlace();
  }
  return Destination::ToDescriptor(STDOUT_FILENO);
}

// Says each failure on standard error and keeps the progress line.
class Reporter final : public streamConversion::Observer {
 public:
  explicit Reporter(const Options& options)
      : progress_(!options.quiet && isatty(STDERR_FILENO) == 1, options.inputs.size()) {}

  void Read(std::size_t, std::uint64_t bytes) override { progress_.Read(bytes); }
  void InputRead(std::size_t) override { progress_.FileDone(); }

  void Failed(const streamConversion::Failure& failure) override {
    progress_.Clear();
    PrintError(NameOf(failure) + ": " + Describe(failure.problem));
  }

  void Finish() { progress_.Clear(); }

 private:
  static std::string NameOf(const streamConversion::Failure& failure) {
    if (!failure.path.empty()) {
      return ShownName(failure.path);
    }
    return failure.side == streamConversion::Side::Input ? "standard input" : "standard output";
  }

  ProgressLine progress_;
};

}  // namespace

int ConvertAll(const Options& options) {
  std::vector<streamConversion::Source> sources;
  for (const std::string& input : options.inputs) {
    sources.push_back(input == "-" ? streamConversion::Source::Descriptor(STDIN_FILENO)
                                   : streamConversion::Source::File(input));
  }
  Reporter reporter(options);
  const streamConversion::Outcome outcome =
      streamConversion::Convert(options.settings, sources, DestinationOf(options), reporter);
  reporter.Finish();
  if (outcome.outOfMemory) {
    PrintError("not enough memory");
  }
  return outcome.Succeeded() ? 0 : 1;
}

}  // namespace pokopenConvert
