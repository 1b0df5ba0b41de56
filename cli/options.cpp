#include "options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace pokopenConvert {

namespace {

enum class Id {
  Style,
  Pokoru,
  NoPokoru,
  First,
  NoFirst,
  Second,
  NoSecond,
  Force,
  NoForce,
  Encoding,
  InputEncoding,
  OutputEncoding,
  Crlf,
  Output,
  Help,
  Version,
};

struct LongOption {
  std::string_view name;
  bool takesValue;
  Id id;
};

constexpr std::array kLongOptions = {
    LongOption{"style", true, Id::Style},
    LongOption{"pokoru", false, Id::Pokoru},
    LongOption{"no-pokoru", false, Id::NoPokoru},
    LongOption{"first", false, Id::First},
    LongOption{"no-first", false, Id::NoFirst},
    LongOption{"second", false, Id::Second},
    LongOption{"no-second", false, Id::NoSecond},
    LongOption{"force", false, Id::Force},
    LongOption{"no-force", false, Id::NoForce},
    LongOption{"encoding", true, Id::Encoding},
    LongOption{"input-encoding", true, Id::InputEncoding},
    LongOption{"output-encoding", true, Id::OutputEncoding},
    LongOption{"crlf", false, Id::Crlf},
    LongOption{"output", true, Id::Output},
    LongOption{"help", false, Id::Help},
    LongOption{"version", false, Id::Version},
};

// Every short option takes a value.
std::optional<Id> ShortOption(char letter) {
  switch (letter) {
    case 's':
      return Id::Style;
    case 'e':
      return Id::Encoding;
    case 'o':
      return Id::Output;
    default:
      return std::nullopt;
  }
}

constexpr std::string_view kUsage =
    "Usage: pokopen-convert [OPTION]... [FILE]\n"
    "Convert Japanese text in FILE into character speech and write it to standard output.\n"
    "With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  -s, --style=N              speech style 0 to 5 (default 0):\n"
    "                               0 標準ぽこる語  1 元気なぽこる語  2 お悩みぽこる語\n"
    "                               3 ぷちこにゅ    4 でじこにょ      5 ぴよこぴょ\n"
    "      --pokoru               also convert \"ぽこる\" (off by default)\n"
    "      --first, --no-first    convert first-person words (on by default)\n"
    "      --second, --no-second  convert second-person words (on by default)\n"
    "      --force                rewrite every sentence ending (off by default)\n"
    "      --no-pokoru, --no-force  turn those two off again\n"
    "                             (styles 3 to 5 read --force only)\n"
    "  -e, --encoding=ENC         encoding of input and output (default utf-8)\n"
    "      --input-encoding=ENC   encoding of the input only\n"
    "      --output-encoding=ENC  encoding of the output only\n"
    "      --crlf                 end output lines with CR LF instead of LF\n"
    "  -o, --output=FILE          write to FILE instead of standard output; FILE is\n"
    "                               replaced only once the whole result is written\n"
    "      --help                 display this help and exit\n"
    "      --version              output version information and exit\n"
    "\n"
    "ENC is utf-8 (also utf8) or cp932, Windows code page 932 (also windows-31j,\n"
    "ms932), in any case. Input lines may end in CR LF, CR or LF.\n"
    "\n"
    "Exit status: 0 on success, 1 when the input cannot be read or converted or the\n"
    "output cannot be written, 2 on a wrong command line.\n";

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

std::optional<Encoding> EncodingNamed(std::string_view name) {
  for (const std::string_view utf8 : {"utf-8", "utf8"}) {
    if (EqualsIgnoringAsciiCase(name, utf8)) {
      return Encoding::Utf8;
    }
  }
  for (const std::string_view cp932 : {"cp932", "windows-31j", "ms932"}) {
    if (EqualsIgnoringAsciiCase(name, cp932)) {
      return Encoding::Cp932;
    }
  }
  return std::nullopt;
}

std::optional<int> StyleNamed(std::string_view text) {
  int style = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), style);
  const bool allDigits = !text.empty() && text.front() != '-' && text.front() != '+';
  if (!allDigits || error != std::errc{} || end != text.data() + text.size() || style < 0 ||
      style > 5) {
    return std::nullopt;
  }
  return style;
}

std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  quoted.append(text);
  quoted.push_back('\'');
  return quoted;
}

class Parser {
 public:
  explicit Parser(std::span<const std::string_view> args) : args_(args) {}

  CommandLine Parse() {
    bool optionsEnded = false;
    for (next_ = 0; next_ < args_.size() && !done_;) {
      const std::string_view arg = args_[next_++];
      if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
        Operand(arg);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (arg.starts_with("--")) {
        LongArgument(arg.substr(2));
      } else {
        ShortArgument(arg);
      }
    }
    if (result_.action == Action::Convert) {
      result_.options.inputEncoding = input_.value_or(both_);
      result_.options.outputEncoding = output_.value_or(both_);
    }
    return result_;
  }

 private:
  void Fail(std::string message) {
    result_.action = Action::UsageError;
    result_.error = std::move(message);
    done_ = true;
  }

  void Operand(std::string_view arg) {
    if (sawFile_) {
      Fail("extra operand " + Quoted(arg));
      return;
    }
    sawFile_ = true;
    result_.options.inputPath = std::string(arg);
  }

  // --name, --name=value or --name value; any unambiguous prefix of a name.
  void LongArgument(std::string_view body) {
    const std::size_t equals = body.find('=');
    const std::string_view name = body.substr(0, equals);
    const std::string shown = "--" + std::string(name);
    const LongOption* found = nullptr;
    int prefixMatches = 0;
    for (const LongOption& option : kLongOptions) {
      if (option.name == name) {
        found = &option;
        prefixMatches = 1;
        break;
      }
      if (!name.empty() && option.name.starts_with(name)) {
        found = &option;
        ++prefixMatches;
      }
    }
    if (prefixMatches == 0) {
      Fail("unrecognized option " + Quoted("--" + std::string(body)));
      return;
    }
    if (prefixMatches > 1) {
      Fail("option " + Quoted(shown) + " is ambiguous");
      return;
    }
    const std::string full = "--" + std::string(found->name);
    if (!found->takesValue) {
      if (equals != std::string_view::npos) {
        Fail("option " + Quoted(full) + " doesn't allow an argument");
        return;
      }
      Apply(found->id, {}, full);
      return;
    }
    if (equals != std::string_view::npos) {
      Apply(found->id, body.substr(equals + 1), full);
    } else if (next_ < args_.size()) {
      Apply(found->id, args_[next_++], full);
    } else {
      Fail("option " + Quoted(full) + " requires an argument");
    }
  }

  // -sN or -s N; every short option takes a value.
  void ShortArgument(std::string_view arg) {
    const char letter = arg[1];
    const std::optional<Id> id = ShortOption(letter);
    if (!id) {
      Fail("invalid option -- " + Quoted(std::string(1, letter)));
      return;
    }
    const std::string shown{'-', letter};
    if (arg.size() > 2) {
      Apply(*id, arg.substr(2), shown);
    } else if (next_ < args_.size()) {
      Apply(*id, args_[next_++], shown);
    } else {
      Fail("option requires an argument -- " + Quoted(std::string(1, letter)));
    }
  }

  void ApplyEncoding(std::optional<Encoding>& side, std::string_view value) {
    if (const std::optional<Encoding> encoding = EncodingNamed(value)) {
      side = encoding;
    } else {
      Fail("unknown encoding " + Quoted(value) + " (choose utf-8 or cp932)");
    }
  }

  void Apply(Id id, std::string_view value, const std::string& shown) {
    Options& options = result_.options;
    switch (id) {
      case Id::Style:
        if (const std::optional<int> style = StyleNamed(value)) {
          options.style = *style;
        } else {
          Fail("invalid style " + Quoted(value) + " for " + shown + " (choose 0 to 5)");
        }
        break;
      case Id::Pokoru:
      case Id::NoPokoru:
        options.pokoru = id == Id::Pokoru;
        break;
      case Id::First:
      case Id::NoFirst:
        options.first = id == Id::First;
        break;
      case Id::Second:
      case Id::NoSecond:
        options.second = id == Id::Second;
        break;
      case Id::Force:
      case Id::NoForce:
        options.force = id == Id::Force;
        break;
      case Id::Encoding: {
        std::optional<Encoding> encoding;
        ApplyEncoding(encoding, value);
        both_ = encoding.value_or(both_);
        break;
      }
      case Id::InputEncoding:
        ApplyEncoding(input_, value);
        break;
      case Id::OutputEncoding:
        ApplyEncoding(output_, value);
        break;
      case Id::Crlf:
        options.crlf = true;
        break;
      case Id::Output:
        options.outputPath = std::string(value);
        break;
      case Id::Help:
        result_.action = Action::Help;
        done_ = true;
        break;
      case Id::Version:
        result_.action = Action::Version;
        done_ = true;
        break;
    }
  }

  std::span<const std::string_view> args_;
  std::size_t next_ = 0;
  bool done_ = false;
  bool sawFile_ = false;
  // -e sets both sides; the one-sided options win over it in any order.
  Encoding both_ = Encoding::Utf8;
  std::optional<Encoding> input_;
  std::optional<Encoding> output_;
  CommandLine result_;
};

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
  return Parser(args).Parse();
}

std::string_view UsageText() {
  return kUsage;
}

}  // namespace pokopenConvert
