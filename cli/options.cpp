#include "options.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <set>

#include "fileSystem.h"
#include "messages.h"

namespace pokopenConvert {

namespace {

// Long options without a short form.
enum LongOnly : int {
  kPokoru = 256,
  kNoPokoru,
  kFirst,
  kNoFirst,
  kSecond,
  kNoSecond,
  kForce,
  kNoForce,
  kInputEncoding,
  kOutputEncoding,
  kCrlf,
  kHelp,
  kVersion,
};

constexpr std::string_view kShortOptions = "s:e:o:d:ij:q";

const std::array<option, 21> kLongOptions = {{
    {"style", required_argument, nullptr, 's'},
    {"pokoru", no_argument, nullptr, kPokoru},
    {"no-pokoru", no_argument, nullptr, kNoPokoru},
    {"first", no_argument, nullptr, kFirst},
    {"no-first", no_argument, nullptr, kNoFirst},
    {"second", no_argument, nullptr, kSecond},
    {"no-second", no_argument, nullptr, kNoSecond},
    {"force", no_argument, nullptr, kForce},
    {"no-force", no_argument, nullptr, kNoForce},
    {"encoding", required_argument, nullptr, 'e'},
    {"input-encoding", required_argument, nullptr, kInputEncoding},
    {"output-encoding", required_argument, nullptr, kOutputEncoding},
    {"crlf", no_argument, nullptr, kCrlf},
    {"output", required_argument, nullptr, 'o'},
    {"output-dir", required_argument, nullptr, 'd'},
    {"in-place", no_argument, nullptr, 'i'},
    {"jobs", required_argument, nullptr, 'j'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
}};

constexpr std::string_view kHelpText =
    "Usage: pokopen-convert [OPTION]... [FILE]...\n"
    "Convert Japanese text into character speech. Each FILE is converted as a text\n"
    "of its own, to standard output one after another unless -o, -d or -i says\n"
    "otherwise. With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  -s, --style=N              speech style 0 to 5 (default 0):\n"
    "                               0 標準ぽこる語  1 元気なぽこる語  2 お悩みぽこる語\n"
    "                               3 ぷちこにゅ    4 でじこにょ      5 ぴよこぴょ\n"
    "      --pokoru, --no-pokoru  also convert \"ぽこる\" (off by default)\n"
    "      --first, --no-first    convert first-person words (on by default)\n"
    "      --second, --no-second  convert second-person words (on by default)\n"
    "      --force, --no-force    rewrite every sentence ending (off by default);\n"
    "                               styles 3 to 5 read --force only\n"
    "  -e, --encoding=ENC         encoding of input and output\n"
    "      --input-encoding=ENC   auto (default), utf-8, utf-16 or cp932\n"
    "      --output-encoding=ENC  utf-8 (default) or cp932\n"
    "      --crlf                 end output lines with CR LF instead of LF\n"
    "  -o, --output=FILE          write the result to FILE (one input only)\n"
    "  -d, --output-dir=DIR       write each result to DIR under its file's name\n"
    "  -i, --in-place             replace each FILE with its result\n"
    "  -j, --jobs=N               convert with N threads (default: one per core)\n"
    "  -q, --quiet                no progress line on a terminal\n"
    "      --help                 display this help and exit\n"
    "      --version              output version information and exit\n"
    "\n"
    "ENC is utf-8 (also utf8), utf-16 (also utf16; input only, with a byte-order\n"
    "mark), cp932 (also shift_jis, sjis, ms932, windows-31j), or auto (input only),\n"
    "in any case; -e names both sides where the encoding can be written.\n"
    "\n"
    "With auto, a byte-order mark (UTF-8, UTF-16LE, UTF-16BE) decides; otherwise\n"
    "the text is UTF-8 while it is valid UTF-8 (only a short text of half-width\n"
    "katakana that makes sense as nothing else is read as code page 932), code\n"
    "page 932 where it is valid code page 932 that reads as Japanese and not UTF-8\n"
    "gone bad, and refused otherwise: EUC-JP and ISO-2022-JP by name, other\n"
    "languages' encodings as not Japanese, code page 932 with UTF-8 in it as mixed,\n"
    "UTF-8 behind a UTF-16 mark as such, else naming the encoding it most likely is\n"
    "and the byte offset where it stops being valid in it. A NUL anywhere, and in\n"
    "a detected text ISO-2022-JP escapes or two Japanese characters of UTF-8 in\n"
    "code page 932, refuse the text wherever they are met.\n"
    "\n"
    "Lines: in UTF-8 and UTF-16 input, LF, CR LF and CR each end a line; in code\n"
    "page 932 input, CR LF and CR end a line and a lone LF stays inside its line.\n"
    "\n"
    "Files written with -o, -d and -i are replaced all at once, and left as they\n"
    "were when their input turns out to be invalid or cannot be written in the\n"
    "output encoding; they read and write regular files only (and write character\n"
    "devices such as /dev/null). Standard output gets nothing of a text whose fault\n"
    "is found in its first 4 MiB; a fault found later leaves what was converted\n"
    "before the part of the text that holds it.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read or converted or an\n"
    "output cannot be written (the other files are still converted), 2 on a wrong\n"
    "command line.\n";

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

bool NamedAny(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(),
                     [&](std::string_view known) { return EqualsIgnoringAsciiCase(name, known); });
}

std::optional<textFiles::InputEncoding> InputEncodingNamed(std::string_view name) {
  if (NamedAny(name, {"auto"})) {
    return textFiles::InputEncoding::Auto;
  }
  if (NamedAny(name, {"utf-8", "utf8"})) {
    return textFiles::InputEncoding::Utf8;
  }
  if (NamedAny(name, {"utf-16", "utf16"})) {
    return textFiles::InputEncoding::Utf16;
  }
  if (NamedAny(name, {"cp932", "shift_jis", "shift-jis", "sjis", "ms932", "windows-31j"})) {
    return textFiles::InputEncoding::Cp932;
  }
  return std::nullopt;
}

std::optional<textCodec::Encoding> OutputEncodingOf(textFiles::InputEncoding encoding) {
  switch (encoding) {
    case textFiles::InputEncoding::Utf8:
      return textCodec::Encoding::Utf8;
    case textFiles::InputEncoding::Cp932:
      return textCodec::Encoding::Cp932;
    case textFiles::InputEncoding::Auto:
    case textFiles::InputEncoding::Utf16:
    case textFiles::InputEncoding::Utf16Le:
    case textFiles::InputEncoding::Utf16Be:
      break;
  }
  return std::nullopt;
}

template <typename Number>
std::optional<Number> WholeNumber(std::string_view text, Number lowest, Number highest) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.front() == '-' || text.front() == '+' || error != std::errc{} ||
      end != text.data() + text.size() || value < lowest || value > highest) {
    return std::nullopt;
  }
  return value;
}

class Parser {
 public:
  CommandLine Parse(std::span<const std::string_view> args) {
    // getopt_long names the program after argv[0] and may reorder the list.
    std::vector<std::string> storage{std::string(kProgramName)};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    optind = 0;
    opterr = 1;
    int code = 0;
    while (result_.action == Action::Convert &&
           (code = getopt_long(argc, argv.data(), kShortOptions.data(), kLongOptions.data(),
                               nullptr)) != -1) {
      Apply(code, optarg != nullptr ? std::string_view(optarg) : std::string_view());
    }
    if (result_.action != Action::Convert) {
      return result_;
    }
    for (int i = optind; i < argc; ++i) {
      result_.options.inputs.emplace_back(argv[static_cast<std::size_t>(i)]);
    }
    Settle();
    return result_;
  }

 private:
  void Fail(std::string message) {
    if (result_.action != Action::UsageError) {
      result_.action = Action::UsageError;
      result_.error = std::move(message);
    }
  }

  // getopt_long has already said what is wrong.
  void FailQuietly() { result_.action = Action::UsageError; }

  void SetDestination(Destination destination, std::string_view output, std::string_view shown) {
    Options& options = result_.options;
    if (options.destination != Destination::StandardOutput && options.destination != destination) {
      Fail("choose one of --output, --output-dir and --in-place");
      return;
    }
    if (destination != Destination::InPlace && output.empty()) {
      Fail("option " + Quoted(shown) + " needs a name, not an empty one");
      return;
    }
    options.destination = destination;
    options.output = std::string(output);
  }

  void Apply(int code, std::string_view value) {
    Options& options = result_.options;
    switch (code) {
      case 's':
        if (const auto style = WholeNumber<int>(value, 0, 5)) {
          options.settings.style = mdlFlexConv::StyleAt(*style);
        } else {
          Fail("invalid style " + Quoted(value) + " (choose 0 to 5)");
        }
        break;
      case kPokoru:
      case kNoPokoru:
        options.settings.flags.pokoru = code == kPokoru;
        break;
      case kFirst:
      case kNoFirst:
        options.settings.flags.first = code == kFirst;
        break;
      case kSecond:
      case kNoSecond:
        options.settings.flags.second = code == kSecond;
        break;
      case kForce:
      case kNoForce:
        options.settings.flags.force = code == kForce;
        break;
      case 'e':
      case kInputEncoding:
      case kOutputEncoding:
        ApplyEncoding(code, value);
        break;
      case kCrlf:
        options.settings.output.crlf = true;
        break;
      case 'o':
        // As with other GNU tools, -o - is standard output.
        if (value == "-") {
          SetDestination(Destination::StandardOutput, value, "--output");
        } else {
          SetDestination(Destination::OutputFile, value, "--output");
        }
        break;
      case 'd':
        SetDestination(Destination::OutputFolder, value, "--output-dir");
        break;
      case 'i':
        SetDestination(Destination::InPlace, {}, "--in-place");
        break;
      case 'j':
        if (const auto jobs = WholeNumber<unsigned>(value, 1, 1024)) {
          options.settings.jobs = *jobs;
        } else {
          Fail("invalid number of jobs " + Quoted(value) + " (choose 1 to 1024)");
        }
        break;
      case 'q':
        options.quiet = true;
        break;
      case kHelp:
        result_.action = Action::Help;
        break;
      case kVersion:
        result_.action = Action::Version;
        break;
      default:
        FailQuietly();
        break;
    }
  }

  void ApplyEncoding(int code, std::string_view value) {
    const std::optional<textFiles::InputEncoding> named = InputEncodingNamed(value);
    if (!named) {
      Fail("unknown encoding " + Quoted(value) + " (choose auto, utf-8, utf-16 or cp932)");
      return;
    }
    const std::optional<textCodec::Encoding> written = OutputEncodingOf(*named);
    if (code == kOutputEncoding) {
      if (!written) {
        Fail("text is written in utf-8 or cp932, not " + Quoted(value));
        return;
      }
      outputEncoding_ = written;
      return;
    }
    if (code == kInputEncoding) {
      inputEncoding_ = named;
      return;
    }
    bothInput_ = named;
    if (written) {
      bothOutput_ = written;
    }
  }

  // The one-sided encoding options win over -e in any order; then the
  // destination and the inputs must fit together.
  void Settle() {
    Options& options = result_.options;
    streamConversion::Settings& settings = options.settings;
    settings.inputEncoding = inputEncoding_.value_or(bothInput_.value_or(settings.inputEncoding));
    settings.output.encoding =
        outputEncoding_.value_or(bothOutput_.value_or(settings.output.encoding));
    if (options.inputs.empty() && options.destination != Destination::InPlace) {
      options.inputs.emplace_back("-");
    }
    const bool readsStandardInput =
        std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end();
    switch (options.destination) {
      case Destination::OutputFile:
        if (options.inputs.size() > 1) {
          Fail("--output takes one input; use --output-dir for several");
        }
        break;
      case Destination::OutputFolder:
        if (readsStandardInput) {
          Fail("standard input has no name to be written under in --output-dir");
        } else {
          CheckNamesDiffer(options.inputs);
        }
        break;
      case Destination::InPlace:
        if (options.inputs.empty() || readsStandardInput) {
          Fail("--in-place needs files to replace");
        }
        break;
      case Destination::StandardOutput:
        break;
    }
  }

  void CheckNamesDiffer(const std::vector<std::string>& inputs) {
    std::set<std::string> names;
    for (const std::string& input : inputs) {
      const std::string name = fileSystem::SplitPath(input).second;
      if (!names.insert(name).second) {
        Fail("two inputs named " + Quoted(name) + " would be written to the same file");
        return;
      }
    }
  }

  CommandLine result_;
  std::optional<textFiles::InputEncoding> bothInput_;
  std::optional<textCodec::Encoding> bothOutput_;
  std::optional<textFiles::InputEncoding> inputEncoding_;
  std::optional<textCodec::Encoding> outputEncoding_;
};

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
  return Parser().Parse(args);
}

std::string_view HelpText() {
  return kHelpText;
}

}  // namespace pokopenConvert
