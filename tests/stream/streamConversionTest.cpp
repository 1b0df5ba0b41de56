// The conversion of streams and files in process: outcomes as values, and
// what running out of memory leaves.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <variant>
#include <vector>

#include "allocationFailures.h"
#include "conversionSupport.h"
#include "fileTestSupport.h"
#include "streamConversion.h"

namespace {

using fileTestSupport::ReadBytes;
using fileTestSupport::WriteBytes;
using streamConversion::Destination;
using streamConversion::Side;
using streamConversion::Source;
using StreamConversion = fileTestSupport::TemporaryFolder;

struct Recorder final : streamConversion::Observer {
  std::vector<streamConversion::Failure> failures;
  std::vector<std::size_t> inputsRead;
  void InputRead(std::size_t input) override { inputsRead.push_back(input); }
  void Failed(const streamConversion::Failure& failure) override { failures.push_back(failure); }
};

streamConversion::Settings AllFlags(unsigned jobs) {
  streamConversion::Settings settings;
  settings.style = mdlFlexConv::Style::Cheerful;
  settings.flags = {true, true, true, true};
  settings.jobs = jobs;
  return settings;
}

// What a descriptor got: the test reads it back from the file it writes.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path)
      : path_(path), fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {}
  ~OutputFile() { close(fd_); }
  int Fd() const { return fd_; }
  std::string Bytes() const { return ReadBytes(path_); }

 private:
  std::string path_;
  int fd_;
};

TEST_F(StreamConversion, EveryDestinationGetsTheWholeTextResult) {
  const std::u16string text = conversionSupport::LongMixedText();
  const std::string input = textCodec::EncodeUtf8(text).bytes;
  const std::string expected = conversionSupport::WholeTextResult(
      text, mdlFlexConv::Style::Cheerful, {true, true, true, true});
  mkdir(Path("out").c_str(), 0755);
  for (const unsigned jobs : {1u, 3u}) {
    WriteBytes(Path("a.txt"), input);
    WriteBytes(Path("b.txt"), input);
    OutputFile descriptor(Path("descriptor"));
    const std::vector<Source> both = {Source::File(Path("a.txt")), Source::File(Path("b.txt"))};
    const struct {
      std::vector<Source> sources;
      Destination destination;
      std::vector<std::string> results;
    } cases[] = {
        {both, Destination::ToDescriptor(descriptor.Fd()), {Path("descriptor")}},
        {{both[0]}, Destination::ToFile(Path("one.txt")), {Path("one.txt")}},
        {both, Destination::IntoFolder(Path("out")), {Path("out/a.txt"), Path("out/b.txt")}},
        {both, Destination::InPlace(), {Path("a.txt"), Path("b.txt")}},
    };
    for (const auto& c : cases) {
      Recorder recorder;
      const streamConversion::Outcome outcome =
          streamConversion::Convert(AllFlags(jobs), c.sources, c.destination, recorder);
      EXPECT_TRUE(outcome.Succeeded());
      EXPECT_EQ(recorder.inputsRead.size(), c.sources.size());
      const std::string all = c.results.size() < c.sources.size() ? expected + expected : expected;
      for (const std::string& result : c.results) {
        EXPECT_TRUE(ReadBytes(result) == all) << result << ", " << jobs << " jobs";
      }
    }
  }
}

// Each failure tells whose it is, the path that failed and whether the run
// goes on; a folder that is missing fails once for every input.
TEST_F(StreamConversion, FailuresAreValues) {
  WriteBytes(Path("in.txt"), "わたし");
  WriteBytes(Path("bad.txt"), "ab\xFF");
  WriteBytes(Path("snow.txt"), "あ\n☃");
  mkfifo(Path("fifo").c_str(), 0600);
  int closedPipe[2] = {-1, -1};
  ASSERT_EQ(pipe(closedPipe), 0);
  close(closedPipe[0]);
  signal(SIGPIPE, SIG_IGN);
  streamConversion::Settings cp932 = AllFlags(2);
  cp932.output.encoding = textCodec::Encoding::Cp932;
  const struct {
    std::vector<Source> sources;
    Destination destination;
    streamConversion::Settings settings;
    std::string path;  // of the one failure
    Side side;
    textFiles::Problem problem;
    bool stops;
  } cases[] = {
      {{Source::File(Path("missing"))},
       Destination::ToFile(Path("out")),
       AllFlags(1),
       Path("missing"),
       Side::Input,
       textFiles::SystemFailure{ENOENT},
       false},
      {{Source::File(Path("fifo"))},
       Destination::ToFile(Path("out")),
       AllFlags(1),
       Path("fifo"),
       Side::Input,
       textFiles::NotRegularFile{},
       false},
      {{Source::File(Path("in.txt"))},
       Destination::ToFile(Path("fifo")),
       AllFlags(1),
       Path("fifo"),
       Side::Output,
       textFiles::NotRegularFile{},
       false},
      {{Source::File(Path("in.txt"))},
       Destination::ToFile(Path("new/")),
       AllFlags(1),
       Path("new/"),
       Side::Output,
       textFiles::SystemFailure{ENOTDIR},
       false},
      {{Source::File(Path("in.txt")), Source::File(Path("bad.txt"))},
       Destination::IntoFolder(Path("nowhere")),
       AllFlags(1),
       Path("nowhere"),
       Side::Output,
       textFiles::SystemFailure{ENOENT},
       true},
      {{Source::File(Path("in.txt")), Source::File(Path("in.txt"))},
       Destination::ToDescriptor(closedPipe[1]),
       AllFlags(1),
       "",
       Side::Output,
       textFiles::SystemFailure{EPIPE},
       true},
      {{Source::File(Path("snow.txt"))},
       Destination::ToFile(Path("out")),
       cp932,
       Path("snow.txt"),
       Side::Input,
       textFiles::UnencodableText{textCodec::Encoding::Cp932, {0x2603, 2, 1}, 1, {}},
       false},
  };
  for (const auto& c : cases) {
    Recorder recorder;
    const streamConversion::Outcome outcome =
        streamConversion::Convert(c.settings, c.sources, c.destination, recorder);
    ASSERT_EQ(recorder.failures.size(), 1u) << c.path;
    const streamConversion::Failure& failure = recorder.failures.front();
    EXPECT_EQ(outcome.failed, 1u);
    EXPECT_EQ(failure.path, c.path);
    EXPECT_EQ(failure.side, c.side) << c.path;
    EXPECT_EQ(failure.stopsTheRun, c.stops) << c.path;
    EXPECT_EQ(failure.problem.index(), c.problem.index()) << c.path;
    if (const auto* system = std::get_if<textFiles::SystemFailure>(&failure.problem)) {
      EXPECT_EQ(system->errnum, std::get<textFiles::SystemFailure>(c.problem).errnum);
    }
    if (const auto* unencodable = std::get_if<textFiles::UnencodableText>(&failure.problem)) {
      const auto& where = std::get<textFiles::UnencodableText>(c.problem).where;
      EXPECT_EQ(unencodable->where.line, where.line);
      EXPECT_EQ(unencodable->where.column, where.column);
    }
  }
  close(closedPipe[1]);
  EXPECT_EQ(Entries(), (std::set<std::string>{"bad.txt", "fifo", "in.txt", "snow.txt"}));
}

// Memory running out on any thread ends the run with that outcome, leaving
// every file it was writing as it was and nothing on a held-back descriptor.
TEST_F(StreamConversion, RunningOutOfMemoryLeavesEveryTargetAsItWas) {
  using allocationFailures::Threads;
  const std::string input = textCodec::EncodeUtf8(conversionSupport::LongMixedText(1 << 21)).bytes;
  WriteBytes(Path("in.txt"), input);
  const struct {
    Threads threads;
    int spared;  // large allocations that succeed first
  } cases[] = {{Threads::Others, 0}, {Threads::Main, 0}, {Threads::Main, 6}};
  constexpr std::size_t kLarge = std::size_t{64} << 10;
  for (const auto& c : cases) {
    WriteBytes(Path("out.txt"), "old");
    OutputFile descriptor(Path("descriptor"));
    for (const Destination& destination :
         {Destination::ToFile(Path("out.txt")), Destination::ToDescriptor(descriptor.Fd())}) {
      // A converting thread may not get a piece before the reading thread
      // has converted them all: then the run is tried again.
      int failedAllocations = 0;
      streamConversion::Outcome outcome;
      for (int attempt = 0; attempt < 20 && failedAllocations == 0; ++attempt) {
        // An attempt that converted everything wrote it: the next starts afresh.
        ASSERT_EQ(ftruncate(descriptor.Fd(), 0), 0);
        ASSERT_EQ(lseek(descriptor.Fd(), 0, SEEK_SET), 0);
        Recorder recorder;
        const std::vector<Source> sources = {Source::File(Path("in.txt"))};
        allocationFailures::Arm(c.threads, kLarge, c.spared);
        outcome = streamConversion::Convert(AllFlags(4), sources, destination, recorder);
        failedAllocations = allocationFailures::Disarm();
        EXPECT_TRUE(recorder.failures.empty());
      }
      ASSERT_GT(failedAllocations, 0);
      EXPECT_TRUE(outcome.outOfMemory);
    }
    EXPECT_EQ(ReadBytes(Path("out.txt")), "old");
    EXPECT_EQ(descriptor.Bytes(), "");
    EXPECT_EQ(Entries(), (std::set<std::string>{"descriptor", "in.txt", "out.txt"}));
  }
}

}  // namespace
