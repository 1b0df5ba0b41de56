// End-to-end tests of pokopen-convert: the built program runs as a child
// process on real pipes and temporary files.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conversionSupport.h"
#include "mdlFlexConv.h"
#include "textCodec.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Invocation {
  std::vector<std::string> args;
  std::string input;                     // written to standard input through a pipe
  std::optional<std::string> inputFile;  // standard input read from this file instead
  bool unreadOutput = false;             // standard output is a pipe whose reader is gone
  std::optional<mode_t> umask;
  std::string folder;  // the working folder, when not empty
  std::string limits;  // shell commands that set limits before it runs, such as "ulimit -n 16"
};

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

void ReadSome(int& fd, std::string& into) {
  char buffer[65536];
  const ssize_t count = ::read(fd, buffer, sizeof buffer);
  if (count > 0) {
    into.append(buffer, static_cast<std::size_t>(count));
  } else if (count == 0 || errno != EINTR) {
    ::close(fd);
    fd = -1;
  }
}

Outcome RunConvert(const Invocation& invocation) {
  std::signal(SIGPIPE, SIG_IGN);
  std::array<int, 2> in{-1, -1}, out{-1, -1}, err{-1, -1};
  EXPECT_EQ(::pipe(in.data()), 0);
  EXPECT_EQ(::pipe(out.data()), 0);
  EXPECT_EQ(::pipe(err.data()), 0);
  if (invocation.unreadOutput) {
    ::close(out[0]);
    out[0] = -1;
  }
  std::vector<std::string> argv{POKOPEN_CONVERT_PATH};
  if (!invocation.limits.empty()) {
    argv = {"/bin/sh", "-c", invocation.limits + " && exec \"$@\"", "sh", POKOPEN_CONVERT_PATH};
  }
  argv.insert(argv.end(), invocation.args.begin(), invocation.args.end());
  std::vector<char*> argvPointers;
  for (std::string& arg : argv) {
    argvPointers.push_back(arg.data());
  }
  argvPointers.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    if (invocation.inputFile) {
      const int file = ::open(invocation.inputFile->c_str(), O_RDONLY);
      ::dup2(file, 0);
    } else {
      ::dup2(in[0], 0);
    }
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
      if (fd > 2) {
        ::close(fd);
      }
    }
    if (invocation.umask) {
      ::umask(*invocation.umask);
    }
    if (!invocation.folder.empty() && ::chdir(invocation.folder.c_str()) != 0) {
      ::_exit(126);
    }
    ::execv(argvPointers[0], argvPointers.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);

  Outcome outcome;
  std::string_view pending = invocation.input;
  int toChild = in[1];
  int fromOut = out[0];
  int fromErr = err[0];
  if (pending.empty()) {
    ::close(toChild);
    toChild = -1;
  }
  while (toChild >= 0 || fromOut >= 0 || fromErr >= 0) {
    std::array<pollfd, 3> fds{pollfd{toChild, POLLOUT, 0}, pollfd{fromOut, POLLIN, 0},
                              pollfd{fromErr, POLLIN, 0}};
    if (::poll(fds.data(), fds.size(), 30000) <= 0) {
      ADD_FAILURE() << "pokopen-convert did not finish";
      ::kill(child, SIGKILL);
      break;
    }
    if (toChild >= 0 && fds[0].revents != 0) {
      const ssize_t written =
          ::write(toChild, pending.data(), std::min<std::size_t>(pending.size(), 65536));
      if (written > 0) {
        pending.remove_prefix(static_cast<std::size_t>(written));
      }
      if (pending.empty() || (written < 0 && errno != EAGAIN && errno != EINTR)) {
        ::close(toChild);
        toChild = -1;
      }
    }
    if (fromOut >= 0 && fds[1].revents != 0) {
      ReadSome(fromOut, outcome.out);
    }
    if (fromErr >= 0 && fds[2].revents != 0) {
      ReadSome(fromErr, outcome.err);
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

Outcome RunConvert(std::vector<std::string> args, std::string input = {}) {
  Invocation invocation;
  invocation.args = std::move(args);
  invocation.input = std::move(input);
  return RunConvert(invocation);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

class TemporaryFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pokopen-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Path(const std::string& name) const { return folder_ / name; }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

using PokopenConvertFiles = TemporaryFolder;

struct ConversionCase {
  std::vector<std::string> args;
  std::string input;
  std::string output;
};

TEST(PokopenConvert, ConvertsStandardInputAsTheWindowDoes) {
  const std::vector<ConversionCase> cases = {
      {{}, "わたしはあなたが好きです。", "ぽこりゅんはダ～リンが好きだりゅん。"},
      {{"-s", "1"}, "わたしはあなたが好きです。", "ぽこりゅんっはダ～リンっが好きだりゅん。"},
      {{"--style=2"}, "わたしはあなたが好きです。", "ぽこりゅん...はダ～リン...が好きだりゅん。"},
      {{"--no-first", "--no-second"},
       "わたしはあなたが好きです。",
       "わたしはあなたが好きだりゅん。"},
      {{"-s4", "--force"}, "そうなのだ", "そうなんだにょにょ"},
      {{"--style", "3", "--first"}, "わたしです。", "わたしだにゅ。"},
      {{"-s", "1", "--force"}, "ポコルです", "ぽこりゅんっだりゅんっ"},
      {{"--force", "--no-force"}, "そうなのだ", "そうなのだ"},
      {{"--sty=5", "--for"}, "見てください", "見てくださいぴょ"},
      {{"-"}, "あなたですよ。", "ダ～リンだりゅん。"},
      {{}, "です。です。", "です。だりゅん。"},
      // Only the start of the whole text is special, not the start of a piece.
      {{}, std::string(65536, 'a') + "です。", std::string(65536, 'a') + "だりゅん。"},
      {{}, "", ""},
  };
  for (const ConversionCase& c : cases) {
    const Outcome outcome = RunConvert(c.args, c.input);
    EXPECT_EQ(outcome.status, 0) << c.input.substr(0, 40);
    EXPECT_EQ(outcome.out, c.output) << c.input.substr(0, 40);
    EXPECT_EQ(outcome.err, "") << c.input.substr(0, 40);
  }
}

TEST(PokopenConvert, EndsLinesAsTheEncodingSaysAndWritesLf) {
  const std::vector<ConversionCase> cases = {
      // Seen as CR LF the break fills the window, so no mark follows です.
      {{}, "本当ですよ\n。", "本当ですよ\n。"},
      {{}, "本当ですよ\r。", "本当ですよ\n。"},
      {{}, "そうです\r\n「はい」", "そうだりゅん「はい」"},
      {{}, "a\r\nb\rc\nd", "a\nb\nc\nd"},
      {{}, "a\r\n\r\n", "a\n\n"},
      {{}, "a\r", "a\n"},
      {{}, "\n\r\r\n", "\n\n\n"},
      {{"--crlf"}, "a\nb\rc\r\nd\n", "a\r\nb\r\nc\r\nd\r\n"},
      {{"--crlf"}, "a", "a"},
      // The byte-order mark is not part of the text.
      {{}, "\xEF\xBB\xBFわたし", "ぽこりゅん"},
      {{"--output-encoding=cp932"},
       "\xEF\xBB\xBFわたし",
       "\x82\xDB\x82\xB1\x82\xE8\x82\xE3\x82\xF1"},
      // In code page 932 a lone LF stays inside its line, so 。 follows です.
      {{"--output-encoding=utf-8"},
       "\x96\x7B\x93\x96\x82\xC5\x82\xB7\x82\xE6\n\x81\x42",
       "本当だりゅん。"},
      {{"-e", "cp932", "--crlf"}, "\x82\xA0\nb\rc\r\n", "\x82\xA0\nb\r\nc\r\n"},
  };
  for (const ConversionCase& c : cases) {
    const Outcome outcome = RunConvert(c.args, c.input);
    EXPECT_EQ(outcome.status, 0) << c.input;
    EXPECT_EQ(outcome.out, c.output) << c.input;
  }
}

// Texts far longer than the pieces converted apart on several threads, and
// ones with no place to cut them at all, give the whole text's result with
// any number of jobs. Converted a part at a time, the second has parts that
// end between a CR and its LF.
TEST(PokopenConvert, LongTextsGiveTheWholeTextResultWithAnyJobs) {
  std::u16string noCut;
  std::u16string noCutLines;
  for (int i = 0; i < 2200000; ++i) {
    noCut += u"です";
    noCutLines += i % 2 == 0 ? u"です。\r\n" : u"";
  }
  for (const std::u16string& text : {conversionSupport::LongMixedText(), noCut, noCutLines}) {
    const std::string input = textCodec::EncodeUtf8(text).bytes;
    for (const int style : {1, 4}) {
      const std::string expected = conversionSupport::WholeTextResult(
          text, mdlFlexConv::StyleAt(style), {true, true, true, true});
      for (const char* jobs : {"1", "2", "3"}) {
        const Outcome outcome =
            RunConvert({"-j", jobs, "-s", std::to_string(style), "--pokoru", "--force"}, input);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(outcome.out == expected)
            << "style " << style << ", " << jobs << " jobs, " << text.size() << " units";
      }
    }
  }
}

TEST(PokopenConvert, DetectsOrIsToldTheEncoding) {
  const std::string cp932Source =
      "\x82\xed\x82\xbd\x82\xb5\x82\xc5\x82\xb7\x81\x42";  // わたしです。
  const std::string cp932Result =
      "\x82\xdb\x82\xb1\x82\xe8\x82\xe3\x82\xf1\x82\xbe\x82\xe8\x82\xe3\x82\xf1\x81\x42";
  const std::vector<ConversionCase> cases = {
      {{"-e", "cp932"}, cp932Source, cp932Result},
      {{"--encoding=Windows-31J"}, cp932Source, cp932Result},
      {{"--input-encoding=MS932"}, cp932Source, "ぽこりゅんだりゅん。"},
      {{"--output-encoding", "cp932"}, "わたしです。", cp932Result},
      {{"--output-encoding=cp932", "-e", "utf8"}, "わたしです。", cp932Result},
      {{"-e", "cp932", "--input-encoding=UTF-8"}, "わたしです。", cp932Result},
      {{}, cp932Source, "ぽこりゅんだりゅん。"},
      {{"-e", "Shift_JIS"}, cp932Source, cp932Result},
      {{"-e", "sjis", "--output-encoding=utf-8"}, cp932Source, "ぽこりゅんだりゅん。"},
      {{"--input-encoding=auto", "-e", "utf-16"},
       "\xFF\xFE\x8F\x30\x5F\x30\x57\x30"s,
       "ぽこりゅん"},
      {{}, "\xFE\xFF\x30\x8F\x30\x5F\x30\x57"s, "ぽこりゅん"},
      // ダ～リン: the tilde is written as 0x81 0x60.
      {{"--output-encoding=cp932", "--crlf"}, "あなた\n", "\x83\x5f\x81\x60\x83\x8a\x83\x93\r\n"},
  };
  for (const ConversionCase& c : cases) {
    const Outcome outcome = RunConvert(c.args, c.input);
    EXPECT_EQ(outcome.status, 0) << c.args[0];
    EXPECT_EQ(outcome.out, c.output) << c.args[0];
  }
}

struct BadInputCase {
  std::vector<std::string> args;
  std::string input;
  std::string message;
};

TEST(PokopenConvert, BadInputIsRefusedWithItsPlace) {
  const std::string guessedUtf8 = " (if it is code page 932, say --input-encoding=cp932)";
  const std::vector<BadInputCase> cases = {
      {{},
       "ab\xff"
       "cd",
       "pokopen-convert: standard input: invalid UTF-8 at byte offset 2" + guessedUtf8},
      {{},
       "わたしは\xed\xa0\x80です",
       "pokopen-convert: standard input: invalid UTF-8 at byte offset 12" + guessedUtf8},
      {{},
       "わたしは\xe3\x81",
       "pokopen-convert: standard input: invalid UTF-8 at byte offset 12" + guessedUtf8},
      {{"-e", "utf-8"},
       "\x82\xA0",
       "pokopen-convert: standard input: invalid UTF-8 at byte offset 0"},
      {{"-e", "cp932"},
       "ab\x82",
       "pokopen-convert: standard input: invalid code page 932 at byte offset 2"},
      {{},
       "\x82\xA0\x82",
       "pokopen-convert: standard input: invalid code page 932 at byte offset 2 (if it is UTF-8, "
       "say --input-encoding=utf-8)"},
      {{"-e", "utf-16"},
       "ab",
       "pokopen-convert: standard input: no UTF-16 byte-order mark to tell the byte order"},
      {{"-e", "utf-16"},
       "\xFF\xFE\x42",
       "pokopen-convert: standard input: invalid UTF-16 at byte offset 2"},
      {{},
       "a\0b"s,
       "pokopen-convert: standard input: a NUL byte at byte offset 1: not a text file, or UTF-16 "
       "without a byte-order mark"},
      {{},
       "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA",
       "pokopen-convert: standard input: EUC-JP text is not read (iconv -f EUC-JP -t UTF-8 "
       "converts it)"},
      {{"-e", "cp932"},
       "わたしです",
       "pokopen-convert: standard input: invalid code page 932 at byte offset 14, but valid UTF-8: "
       "-e sets both encodings; --output-encoding=cp932 alone writes code page 932"},
      {{},
       "\x82\xED\x82\xBD\x82\xB5\x82\xCD"
       "です"
       "\x82\xC5\x82\xB7",
       "pokopen-convert: standard input: the text mixes UTF-8 and code page 932: UTF-8 from byte "
       "offset 8"},
      {{},
       "\x1B$B$o$?$7$G$9\x1B(B\n",
       "pokopen-convert: standard input: ISO-2022-JP text is not read (escape sequence at byte "
       "offset 0; iconv -f ISO-2022-JP -t UTF-8 converts it)"},
      {{},
       "Modifikator \xBB+\xAB oder \xBB-\xAB\n",
       "pokopen-convert: standard input: neither UTF-8 nor Japanese code page 932 (not UTF-8 from "
       "byte offset 12); if it is another encoding, iconv -f ENCODING -t UTF-8 converts it"},
      {{},
       "\xFF\xFE"
       "わたしです",
       "pokopen-convert: standard input: invalid UTF-16 at byte offset 2: UTF-8 behind a UTF-16 "
       "byte-order mark (remove the mark's 2 bytes)"},
      {{},
       "a\nb\0"s,
       "pokopen-convert: standard input: a NUL byte at byte offset 3: not a text file, or a "
       "damaged "
       "one"},
      {{"--output-encoding=cp932"},
       "わたし\nあい☃",
       "pokopen-convert: standard input: U+2603 at line 2, column 3 cannot be written in code "
       "page 932; --output-encoding=utf-8 writes it"},
      {{"--output-encoding=cp932"},
       "a\r\nb\rc😀©",
       "pokopen-convert: standard input: 2 characters cannot be written in code page 932: U+1F600 "
       "at line 3, column 2, U+00A9 at line 3, column 3; --output-encoding=utf-8 writes them"},
      // Every one is counted, in pieces converted apart too.
      {{"--output-encoding=cp932", "-j2"},
       [] {
         std::string text;
         for (int line = 0; line < 3000; ++line) {
           text += std::string(120, 'a') + "あ©\n";
         }
         return text;
       }(),
       "pokopen-convert: standard input: 3000 characters cannot be written in code page 932: "
       "U+00A9 at line 1, column 122, U+00A9 at line 2, column 122, U+00A9 at line 3, column 122 "
       "and 2997 more; --output-encoding=utf-8 writes them"},
  };
  for (const BadInputCase& c : cases) {
    const Outcome outcome = RunConvert(c.args, c.input);
    EXPECT_EQ(outcome.status, 1) << c.message;
    EXPECT_EQ(outcome.out, "") << c.message;
    EXPECT_EQ(outcome.err, c.message + "\n");
  }
}

std::string Repeated(std::string_view unit, std::size_t count) {
  std::string text;
  text.reserve(unit.size() * count);
  for (std::size_t i = 0; i < count; ++i) {
    text.append(unit);
  }
  return text;
}

// Inputs far longer than one read, valid or with the fault well inside, read
// both from a pipe and from a file.
TEST_F(PokopenConvertFiles, LargeInputsDecodeAsAWhole) {
  const std::string kana = Repeated("あ", 400000);             // 1200000 bytes
  const std::string cp932Kana = Repeated("\x82\xa0", 600000);  // no byte below 0x40
  const std::string cp932Lines = Repeated(Repeated("\x82\xa0", 999) + "\r\n", 600);  // 1200000
  const std::vector<BadInputCase> cases = {
      {{}, kana + "\xff", "invalid UTF-8 at byte offset 1200000"},
      {{}, kana + "\xe3\x81", "invalid UTF-8 at byte offset 1200000"},
      {{}, kana + "\x81" + kana, "invalid UTF-8 at byte offset 1200000"},
      {{"-e", "cp932"}, cp932Kana + "\x82", "invalid code page 932 at byte offset 1200000"},
      {{"-e", "cp932"}, cp932Lines + "\x82\x20", "invalid code page 932 at byte offset 1200000"},
      {{"-e", "cp932"},
       cp932Lines + "\xa0" + cp932Lines,
       "invalid code page 932 at byte offset 1200000"},
  };
  for (const BadInputCase& c : cases) {
    WriteFile(Path("in.txt"), c.input);
    Invocation fromFile;
    fromFile.args = c.args;
    fromFile.args.push_back(Path("in.txt").string());
    EXPECT_EQ(RunConvert(fromFile).err,
              "pokopen-convert: " + Path("in.txt").string() + ": " + c.message + "\n");
    Invocation fromPipe;
    fromPipe.args = c.args;
    fromPipe.input = c.input;
    EXPECT_EQ(RunConvert(fromPipe).err, "pokopen-convert: standard input: " + c.message + "\n");
  }
  for (const auto& [args, input] :
       {std::pair<std::vector<std::string>, std::string>{{}, kana + "😀"},
        {{"-e", "cp932", "--crlf"}, cp932Kana},
        {{"-e", "cp932", "--crlf"}, cp932Lines}}) {
    const Outcome outcome = RunConvert(args, input);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.out == input);
  }
}

struct UsageCase {
  std::vector<std::string> args;
  std::string firstLine;
};

TEST(PokopenConvert, WrongCommandLinesSayWhatIsWrongInOneLine) {
  const std::vector<UsageCase> cases = {
      {{"-s", "9"}, "pokopen-convert: invalid style '9' (choose 0 to 5)"},
      {{"--style=-1"}, "pokopen-convert: invalid style '-1' (choose 0 to 5)"},
      {{"--style=1x"}, "pokopen-convert: invalid style '1x' (choose 0 to 5)"},
      {{"-s"}, "pokopen-convert: option requires an argument -- 's'"},
      {{"--output"}, "pokopen-convert: option '--output' requires an argument"},
      {{"--bogus"}, "pokopen-convert: unrecognized option '--bogus'"},
      {{"-x"}, "pokopen-convert: invalid option -- 'x'"},
      {{"--force=yes"}, "pokopen-convert: option '--force' doesn't allow an argument"},
      {{"-e", "latin1"},
       "pokopen-convert: unknown encoding 'latin1' (choose auto, utf-8, utf-16 or cp932)"},
      {{"--output-encoding=auto"},
       "pokopen-convert: text is written in utf-8 or cp932, not 'auto'"},
      {{"-o", ""}, "pokopen-convert: option '--output' needs a name, not an empty one"},
      {{"-o", "x", "a.txt", "b.txt"},
       "pokopen-convert: --output takes one input; use --output-dir for several"},
      {{"-j", "0"}, "pokopen-convert: invalid number of jobs '0' (choose 1 to 1024)"},
      // What was typed is quoted so that no raw control or invalid byte
      // reaches the terminal.
      {{"-s", "1\n2"}, "pokopen-convert: invalid style '1'$'\\n''2' (choose 0 to 5)"},
      {{"-e", "utf\xFF"},
       "pokopen-convert: unknown encoding 'utf'$'\\377' (choose auto, utf-8, utf-16 or cp932)"},
      {{"-d", "out", "a/x\ry", "b/x\ry"},
       "pokopen-convert: two inputs named 'x'$'\\r''y' would be written to the same file"},
  };
  for (const UsageCase& c : cases) {
    const Outcome outcome = RunConvert(c.args, "です。");
    EXPECT_EQ(outcome.status, 2) << c.firstLine;
    EXPECT_EQ(outcome.err, c.firstLine + "\nTry 'pokopen-convert --help' for more information.\n");
    EXPECT_EQ(outcome.out, "");
  }
}

TEST(PokopenConvert, HelpAndVersion) {
  const Outcome help = RunConvert({"--help", "--bogus"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  for (const char* option :
       {"--style=N", "--pokoru", "--no-first", "--no-second", "--force", "--encoding=ENC",
        "--input-encoding", "--output-encoding", "--crlf", "--output=FILE", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const Outcome version = RunConvert({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(FirstLine(version.out), "pokopen-convert 1.00.2000");
  EXPECT_NE(version.out.find("\nLicense MIT: <https://opensource.org/licenses/MIT>.\n"),
            std::string::npos);
}

TEST_F(PokopenConvertFiles, ConvertsAFileIntoAnother) {
  WriteFile(Path("in.txt"), "わたしです。\n");
  const Outcome outcome = RunConvert({"-o", Path("out.txt").string(), Path("in.txt").string()});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(ReadFile(Path("out.txt")), "ぽこりゅんだりゅん。\n");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"in.txt", "out.txt"}));
}

TEST_F(PokopenConvertFiles, OptionsMayFollowTheFileAndDashesEndThem) {
  WriteFile(Path("-in.txt"), "あなた");
  Invocation invocation;
  invocation.folder = folder_.string();
  invocation.args = {"--", "-in.txt"};
  EXPECT_EQ(RunConvert(invocation).out, "ダ～リン");
  WriteFile(Path("in.txt"), "あなた");
  invocation.args = {"in.txt", "--no-second"};
  EXPECT_EQ(RunConvert(invocation).out, "あなた");
}

TEST_F(PokopenConvertFiles, ReadsStandardInputFromAFile) {
  WriteFile(Path("in.txt"), "うち");
  Invocation invocation;
  invocation.inputFile = Path("in.txt").string();
  EXPECT_EQ(RunConvert(invocation).out, "ぽこりゅん");
}

TEST_F(PokopenConvertFiles, ConvertsAFileInPlace) {
  WriteFile(Path("notes.txt"), "きみです。");
  const std::string notes = Path("notes.txt").string();
  EXPECT_EQ(RunConvert({"-o", notes, notes}).status, 0);
  EXPECT_EQ(ReadFile(notes), "ダ～リンだりゅん。");
}

TEST_F(PokopenConvertFiles, FailureLeavesAnExistingTargetAsItWas) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  const std::vector<Case> cases = {
      {{}, "ab\xff"},
      {{"--output-encoding=cp932"}, "☃"},
      {{"-s", "1", "missing.txt"}, ""},
  };
  WriteFile(Path("out.txt"), "previous");
  ::chmod(Path("out.txt").c_str(), 0640);
  struct stat before {};
  ::stat(Path("out.txt").c_str(), &before);
  for (const Case& c : cases) {
    Invocation invocation;
    invocation.folder = folder_.string();
    invocation.args = c.args;
    invocation.args.insert(invocation.args.begin(), {"-o", "out.txt"});
    invocation.input = c.input;
    EXPECT_EQ(RunConvert(invocation).status, 1);
    struct stat after {};
    ::stat(Path("out.txt").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(Path("out.txt")), "previous");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"out.txt"}));
  }
}

// A fault far into a file, found when much of it is converted, leaves the
// targets of -o and -i as they were.
TEST_F(PokopenConvertFiles, AFaultFarInLeavesTheTargetAsItWas) {
  const std::string text = Repeated("わたしです。\n", 30000);
  WriteFile(Path("out.txt"), "previous");
  for (const std::string& input :
       {text + std::string(4096, '\0'), text + "\x1B$B$o$?$7\x1B(B\n" + text}) {
    WriteFile(Path("in.txt"), input);
    EXPECT_EQ(RunConvert({"-o", Path("out.txt").string(), Path("in.txt").string()}).status, 1);
    EXPECT_EQ(RunConvert({"-i", Path("in.txt").string()}).status, 1);
    EXPECT_EQ(ReadFile(Path("out.txt")), "previous");
    EXPECT_TRUE(ReadFile(Path("in.txt")) == input);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"in.txt", "out.txt"}));
  }
}

TEST_F(PokopenConvertFiles, ReplacingKeepsPermissionsAndNewFilesFollowTheUmask) {
  WriteFile(Path("kept.txt"), "old");
  ::chmod(Path("kept.txt").c_str(), 0604);
  Invocation invocation;
  invocation.umask = 027;
  invocation.input = "わたし";
  invocation.args = {"-o", Path("kept.txt").string()};
  EXPECT_EQ(RunConvert(invocation).status, 0);
  invocation.args = {"--output=" + Path("new.txt").string()};
  EXPECT_EQ(RunConvert(invocation).status, 0);
  EXPECT_EQ(fs::status(Path("kept.txt")).permissions(), static_cast<fs::perms>(0604));
  EXPECT_EQ(fs::status(Path("new.txt")).permissions(), static_cast<fs::perms>(0640));
  EXPECT_EQ(ReadFile(Path("kept.txt")), "ぽこりゅん");
}

TEST_F(PokopenConvertFiles, ASymbolicLinkKeepsPointingAtTheResult) {
  WriteFile(Path("real.txt"), "old");
  fs::create_symlink("real.txt", Path("link.txt"));
  EXPECT_EQ(RunConvert({"-o", Path("link.txt").string()}, "あんた").status, 0);
  EXPECT_TRUE(fs::is_symlink(Path("link.txt")));
  EXPECT_EQ(ReadFile(Path("real.txt")), "ダ～リン");
}

TEST_F(PokopenConvertFiles, FileErrorsNameTheFile) {
  fs::create_directory(Path("folder"));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"missing.txt"}, "pokopen-convert: missing.txt: No such file or directory"},
      {{"folder"}, "pokopen-convert: folder: Is a directory"},
      {{"-o", "folder"}, "pokopen-convert: folder: Is a directory"},
      {{"-o", "nowhere/out.txt"}, "pokopen-convert: nowhere/out.txt: No such file or directory"},
      {{"-o", "folder/"}, "pokopen-convert: folder/: Is a directory"},
      {{"-o", "new.txt/"}, "pokopen-convert: new.txt/: Not a directory"},
      {{"-o", "/dev/full"}, "pokopen-convert: /dev/full: No space left on device"},
  };
  for (const Case& c : cases) {
    Invocation invocation;
    invocation.folder = folder_.string();
    invocation.args = c.args;
    invocation.input = "わたし";
    const Outcome outcome = RunConvert(invocation);
    EXPECT_EQ(outcome.status, 1) << c.message;
    EXPECT_EQ(outcome.err, c.message + "\n");
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"folder"}));
}

// Written into files, only regular files are read and replaced: a pipe
// would hang the run, and a device would be replaced by a file. A name that
// stands for a descriptor is read and written through it.
TEST_F(PokopenConvertFiles, FilesAreWrittenFromAndToRegularFilesOnly) {
  WriteFile(Path("in.txt"), "わたし");
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  fs::create_directory(Path("out"));
  ASSERT_EQ(::mkfifo(Path("out/in.txt").c_str(), 0600), 0);
  const std::vector<UsageCase> refused = {
      {{"-i", "fifo"}, "pokopen-convert: fifo: not a regular file"},
      {{"fifo", "-o", "new.txt"}, "pokopen-convert: fifo: not a regular file"},
      {{"in.txt", "-o", "fifo"}, "pokopen-convert: fifo: not a regular file"},
      {{"-d", "out", "in.txt"}, "pokopen-convert: out/in.txt: not a regular file"},
      {{"-i", "/dev/null"}, "pokopen-convert: /dev/null: not a regular file"},
  };
  for (const UsageCase& c : refused) {
    Invocation invocation;
    invocation.folder = folder_.string();
    invocation.args = c.args;
    const Outcome outcome = RunConvert(invocation);
    EXPECT_EQ(outcome.status, 1) << c.firstLine;
    EXPECT_EQ(outcome.err, c.firstLine + "\n");
  }
  Invocation throughDescriptor;
  throughDescriptor.folder = folder_.string();
  throughDescriptor.args = {"/dev/stdin", "-o", "new.txt"};
  throughDescriptor.input = "あなた";
  EXPECT_EQ(RunConvert(throughDescriptor).status, 0);
  EXPECT_EQ(ReadFile(Path("new.txt")), "ダ～リン");
}

// A folder that is not there fails once, not once for each file.
TEST_F(PokopenConvertFiles, AMissingFolderIsReportedOnce) {
  WriteFile(Path("a.txt"), "わたし");
  WriteFile(Path("b.txt"), "あなた");
  Invocation invocation;
  invocation.folder = folder_.string();
  invocation.args = {"-d", "nowhere", "a.txt", "b.txt"};
  const Outcome outcome = RunConvert(invocation);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "pokopen-convert: nowhere: No such file or directory\n");
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers' own memory defeats ulimit -v
#else
constexpr bool kSanitized = false;
#endif

// Limits of the system: threads that cannot be made (every thread's stack is
// larger than the memory allowed), or a few descriptors for many files and
// jobs. Every file is converted all the same.
TEST_F(PokopenConvertFiles, EveryFileIsConvertedWithinTheSystemsLimits) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) {
    names.push_back("f" + std::to_string(i) + ".txt");
    WriteFile(Path(names.back()), "わたしです。");
  }
  fs::create_directory(Path("out"));
  struct Case {
    std::string limits;
    std::vector<std::string> args;
    std::string folder;  // of the results
  };
  std::vector<Case> cases = {
      {"ulimit -n 16", {"-j", "8", "-d", "out"}, "out"},
      {"ulimit -n 16", {"-j", "8", "-i"}, "."},
  };
  if (!kSanitized) {
    cases.push_back({"ulimit -s 1000000 && ulimit -v 400000", {"-j", "8", "-d", "out"}, "out"});
  }
  for (const Case& c : cases) {
    Invocation invocation;
    invocation.folder = folder_.string();
    invocation.limits = c.limits;
    invocation.args = c.args;
    invocation.args.insert(invocation.args.end(), names.begin(), names.end());
    const Outcome outcome = RunConvert(invocation);
    EXPECT_EQ(outcome.status, 0) << c.limits;
    EXPECT_EQ(FirstLine(outcome.err), "") << c.limits;
    std::size_t converted = 0;
    for (const std::string& name : names) {
      converted += ReadFile(folder_ / c.folder / name) == "ぽこりゅんだりゅん。" ? 1 : 0;
    }
    EXPECT_EQ(converted, names.size()) << c.limits;
    fs::remove_all(Path("out"));
    fs::create_directory(Path("out"));
  }
}

TEST_F(PokopenConvertFiles, DashIsStandardOutput) {
  const Outcome dash = RunConvert({"-o", "-"}, "わたし");
  EXPECT_EQ(dash.status, 0);
  EXPECT_EQ(dash.out, "ぽこりゅん");
}

TEST(PokopenConvert, AClosedPipeIsAFailedWrite) {
  Invocation invocation;
  invocation.input = "わたし";
  invocation.unreadOutput = true;
  const Outcome outcome = RunConvert(invocation);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "pokopen-convert: standard output: Broken pipe\n");
}

TEST_F(PokopenConvertFiles, ANameThatStandsForADescriptorIsWrittenThroughIt) {
  WriteFile(Path("in.txt"), "わたし");
  WriteFile(Path("log.txt"), "LOG1\n");
  fs::create_symlink("/dev/fd/./1", Path("link"));
  std::string expected = "LOG1\n";
  // The name is read as the kernel reads it, up to the descriptor's own link.
  for (const char* name : {"/dev/stdout", "/dev/fd//1", "/dev/fd/./1", "/proc/self/fd/../fd/1",
                           "/proc/thread-self/fd/1", "link"}) {
    const std::string command = "cd '" + folder_.string() +
                                "' && " POKOPEN_CONVERT_PATH " in.txt -o " + name + " >> log.txt";
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
    expected += "ぽこりゅん";
    EXPECT_EQ(ReadFile(Path("log.txt")), expected) << name;
  }
}

TEST(PokopenConvert, FileNamesAreQuotedInMessagesAsGnuToolsDo) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/none/plain.txt", "/none/plain.txt"}, {"/none/ぽこ.txt", "/none/ぽこ.txt"},
      {"/none/a b.txt", "'/none/a b.txt'"},   {"/none/two\nlines", "'/none/two'$'\\n''lines'"},
      {"/none/it's", "'/none/it'\\''s'"},     {"/none/\xFF.txt", "'/none/'$'\\377''.txt'"},
  };
  for (const auto& [name, shown] : cases) {
    EXPECT_EQ(RunConvert({"--", name}).err,
              "pokopen-convert: " + shown + ": No such file or directory\n");
  }
}

// Several files: each its own text, to standard output in order, or each to
// its own result; one that fails is reported and the others are converted.
TEST_F(PokopenConvertFiles, ManyFilesEachAsItsOwnText) {
  WriteFile(Path("a.txt"), "わたしです");
  WriteFile(Path("b.txt"), "。あなた");
  WriteFile(Path("bad.txt"), "\xFF\xFE\x41");
  WriteFile(Path("c.txt"), "\x82\xa0\x82\xc8\x82\xbd");  // あなた in code page 932
  Invocation invocation;
  invocation.folder = folder_.string();
  // です ends a.txt: the 。 that begins b.txt does not count for it.
  invocation.args = {"a.txt", "b.txt", "c.txt"};
  Outcome outcome = RunConvert(invocation);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "ぽこりゅんです。ダ～リンダ～リン");

  invocation.args = {"a.txt", "bad.txt", "c.txt", "missing.txt", "b.txt"};
  outcome = RunConvert(invocation);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "ぽこりゅんですダ～リン。ダ～リン");
  EXPECT_EQ(outcome.err,
            "pokopen-convert: bad.txt: invalid UTF-16 at byte offset 2\n"
            "pokopen-convert: missing.txt: No such file or directory\n");

  fs::create_directory(Path("out"));
  invocation.args = {"-d", "out", "a.txt", "bad.txt", "c.txt"};
  EXPECT_EQ(RunConvert(invocation).status, 1);
  EXPECT_EQ(ReadFile(Path("out/a.txt")), "ぽこりゅんです");
  EXPECT_EQ(ReadFile(Path("out/c.txt")), "ダ～リン");
  EXPECT_FALSE(fs::exists(Path("out/bad.txt")));

  invocation.args = {"--in-place", "-s", "3", "--force", "a.txt", "bad.txt", "b.txt"};
  EXPECT_EQ(RunConvert(invocation).status, 1);
  EXPECT_EQ(ReadFile(Path("a.txt")), "わたしだにゅ");
  EXPECT_EQ(ReadFile(Path("bad.txt")), "\xFF\xFE\x41");
  EXPECT_EQ(ReadFile(Path("b.txt")), "。あなた");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.txt", "b.txt", "bad.txt", "c.txt", "out"}));

  invocation.args = {"-d", "out", "a.txt", "x/a.txt"};
  EXPECT_EQ(RunConvert(invocation).status, 2);
}

// On a terminal, work that lasts a second shows a progress line, which is
// cleared at the end; -q silences it.
TEST_F(PokopenConvertFiles, AProgressLineOnlyOnATerminal) {
  for (const bool quiet : {false, true}) {
    // The input arrives through a named pipe after a pause.
    ASSERT_EQ(::mkfifo(Path("slow").c_str(), 0600), 0);
    const std::string command = "cd '" + folder_.string() +
                                "' && { (sleep 1.5; echo わたしです > slow) & script -qec '" +
                                POKOPEN_CONVERT_PATH + std::string(quiet ? " -q" : "") +
                                " slow >/dev/null' /dev/null </dev/null; }";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string screen;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      screen.append(buffer, n);
    }
    EXPECT_EQ(::pclose(pipe), 0);
    fs::remove(Path("slow"));
    if (quiet) {
      EXPECT_EQ(screen, "");
    } else {
      EXPECT_NE(screen.find("1 files, "), std::string::npos) << screen;
      EXPECT_TRUE(screen.ends_with("\r\x1B[K")) << screen;
    }
  }
}

}  // namespace
