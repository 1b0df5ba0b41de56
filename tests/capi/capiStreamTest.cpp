// libpokopen's streaming converter: any cut of a text gives the whole text's
// result, in both forms; converters in several threads at once (meaningful
// under ThreadSanitizer); and the library's result against pokopen-convert's
// on real documents.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capiCalls.h"
#include "fileTestSupport.h"
#include "japaneseDocuments.h"
#include "pokopen.h"

namespace {

using namespace capiCalls;

constexpr unsigned kAllFlags = POKOPEN_POKORU | POKOPEN_FIRST | POKOPEN_SECOND | POKOPEN_FORCE;

// CR LF, a lone CR, a pair of surrogates, rewrites near the cuts, a CR at the end.
const std::string kShortText =
    "わたしはぽこるです。\r\nあなたの名前は何ですか、\r教えてね😀\nです。\r\n宿題をします。でした。"
    "\r";

struct Setting {
  int style;
  unsigned flags;
};
const std::vector<Setting> kSettings = {
    {0, POKOPEN_DEFAULT_FLAGS}, {1, kAllFlags | POKOPEN_CRLF}, {2, kAllFlags}, {4, POKOPEN_FORCE}};

class Converter {
 public:
  Converter(int style, unsigned flags) {
    EXPECT_EQ(pokopen_converter_new(style, flags, &converter_, nullptr), POKOPEN_OK);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() { pokopen_converter_free(converter_); }

  Bytes Push(std::string_view piece) {
    return Take<std::string, char>([&](char** data, std::size_t* length, pokopen_error* error) {
      return pokopen_converter_push(converter_, piece.data(), piece.size(), data, length, error);
    });
  }
  Units Push(std::u16string_view piece) {
    return Take<std::u16string, std::uint16_t>(
        [&](std::uint16_t** data, std::size_t* length, pokopen_error* error) {
          return pokopen_converter_push_utf16(converter_, UnitsOf(piece), piece.size(), data,
                                              length, error);
        });
  }
  Bytes Finish(const std::string&) {
    return Take<std::string, char>([&](char** data, std::size_t* length, pokopen_error* error) {
      return pokopen_converter_finish(converter_, data, length, error);
    });
  }
  Units Finish(const std::u16string&) {
    return Take<std::u16string, std::uint16_t>(
        [&](std::uint16_t** data, std::size_t* length, pokopen_error* error) {
          return pokopen_converter_finish_utf16(converter_, data, length, error);
        });
  }

  // Pushes text cut at `cuts` (ascending) and finishes: the joined results,
  // or the first failure's status and error.
  template <typename Text>
  Outcome<Text> Stream(const Text& text, const std::vector<std::size_t>& cuts) {
    Outcome<Text> joined;
    const std::basic_string_view<typename Text::value_type> view(text);
    std::size_t from = 0;
    const auto add = [&](const Outcome<Text>& step) {
      if (joined.status == POKOPEN_OK) {
        joined.status = step.status;
        joined.error = step.error;
        joined.text += step.text;
      }
    };
    for (const std::size_t cut : cuts) {
      add(Push(view.substr(from, cut - from)));
      from = cut;
    }
    add(Push(view.substr(from)));
    add(Finish(text));
    return joined;
  }

 private:
  pokopen_converter* converter_ = nullptr;
};

std::vector<std::size_t> RandomCuts(std::size_t size, std::mt19937& random) {
  std::vector<std::size_t> cuts(std::uniform_int_distribution<std::size_t>(1, 40)(random));
  for (std::size_t& cut : cuts) {
    cut = std::uniform_int_distribution<std::size_t>(0, size)(random);
  }
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}

// A real document of some length, or the short text where there is none.
std::string LongDocument() {
  const auto documents = japaneseDocuments::Documents(false, 60000, 150000);
  return documents.empty() ? kShortText : documents.front().bytes;
}

using CutSets = std::function<std::vector<std::vector<std::size_t>>(std::size_t size)>;

// In every setting and both forms, the text streamed at each set of cuts
// equals the whole text converted at once.
void ExpectStreamsEqualTheWhole(const std::string& text, const CutSets& cutSets) {
  const std::u16string units = Utf16(text);
  for (const Setting& setting : kSettings) {
    SCOPED_TRACE(setting.style);
    const Bytes whole = Convert(text, setting.style, setting.flags);
    const Units wholeUnits = ConvertUtf16(units, setting.style, setting.flags);
    ASSERT_EQ(whole.status, POKOPEN_OK);
    ASSERT_EQ(wholeUnits.text, Utf16(whole.text));
    Converter converter(setting.style, setting.flags);
    for (const std::vector<std::size_t>& cuts : cutSets(text.size())) {
      EXPECT_EQ(converter.Stream(text, cuts).text, whole.text) << "bytes cut at " << cuts[0];
    }
    for (const std::vector<std::size_t>& cuts : cutSets(units.size())) {
      EXPECT_EQ(converter.Stream(units, cuts).text, wholeUnits.text) << "units cut at " << cuts[0];
    }
  }
}

// Every cut, and every piece of one byte (or unit): inside UTF-8 characters,
// between surrogates, between CR and LF.
TEST(CapiStreaming, EveryCutOfAShortTextEqualsTheWhole) {
  ExpectStreamsEqualTheWhole(kShortText, [](std::size_t size) {
    std::vector<std::vector<std::size_t>> sets;
    for (std::size_t i = 0; i < size; ++i) {
      sets.push_back({i});
      sets.push_back({i, i + 1});
    }
    return sets;
  });
}

TEST(CapiStreaming, RandomCutsOfARealDocumentEqualTheWhole) {
  std::mt19937 random(20261208);
  ExpectStreamsEqualTheWhole(LongDocument(), [&](std::size_t size) {
    std::vector<std::vector<std::size_t>> sets(8);
    for (std::vector<std::size_t>& cuts : sets) {
      cuts = RandomCuts(size, random);
    }
    return sets;
  });
}

TEST(CapiStreaming, FailuresDropTheTextAndTheConverterGoesOn) {
  Converter converter(0, POKOPEN_DEFAULT_FLAGS);
  const std::string expected = Convert(kShortText, 0, POKOPEN_DEFAULT_FLAGS).text;

  // Invalid UTF-8 at its offset from the start of the text, across pushes.
  const Bytes invalid = converter.Stream(std::string("わた\xE3\x81\x97\xFF"), {4, 6});
  EXPECT_EQ(invalid.status, POKOPEN_ERROR_INVALID_TEXT);
  EXPECT_EQ(invalid.error.offset, 9u);
  EXPECT_EQ(converter.Stream(kShortText, {7}).text, expected);

  // A character cut off at the end.
  EXPECT_EQ(converter.Push(std::string_view("です\xE3\x81")).status, POKOPEN_OK);
  const Bytes cutOff = converter.Finish(std::string());
  EXPECT_EQ(cutOff.status, POKOPEN_ERROR_INVALID_TEXT);
  EXPECT_EQ(cutOff.error.offset, 6u);
  EXPECT_EQ(converter.Stream(kShortText, {}).text, expected);

  // One form to a text: the other is refused and the text kept; after
  // finishing, the other form starts a new text.
  EXPECT_EQ(converter.Push(std::string_view("あなた")).text, "");
  EXPECT_EQ(converter.Push(std::u16string_view(u"です。")).status, POKOPEN_ERROR_ARGUMENT);
  EXPECT_EQ(converter.Finish(std::u16string()).status, POKOPEN_ERROR_ARGUMENT);
  EXPECT_EQ(converter.Finish(std::string()).text, "ダ～リン");
  EXPECT_EQ(converter.Stream(Utf16(kShortText), {3}).text, Utf16(expected));
}

// Each thread streams the document through a converter of its own while
// calling the other functions; every result must equal the one made alone.
TEST(CapiThreads, OneConverterEachGiveTheSameResults) {
  std::string document = LongDocument();
  document.resize(document.rfind('\n', 40000) + 1);
  constexpr int kThreads = 4;
  std::vector<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    expected.push_back(Convert(document, t, kAllFlags).text);
    ASSERT_FALSE(expected.back().empty());
  }
  const std::string encoded = Encode(document, POKOPEN_ENCODING_UTF16).text;

  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      Converter converter(t, kAllFlags);
      for (int round = 0; round < 3; ++round) {
        mismatches[t] +=
            converter.Stream(document, RandomCuts(document.size(), random)).text != expected[t];
        mismatches[t] += Convert(document, t, kAllFlags).text != expected[t];
        mismatches[t] += Decode(encoded, POKOPEN_ENCODING_AUTO).text != document;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

// The options of pokopen-convert for a style and flags.
std::string Options(int style, unsigned flags) {
  std::string options = "--style=" + std::to_string(style);
  options += flags & POKOPEN_POKORU ? " --pokoru" : " --no-pokoru";
  options += flags & POKOPEN_FIRST ? " --first" : " --no-first";
  options += flags & POKOPEN_SECOND ? " --second" : " --no-second";
  options += flags & POKOPEN_FORCE ? " --force" : " --no-force";
  return options + (flags & POKOPEN_CRLF ? " --crlf" : "");
}

std::string RunConvert(const std::string& options, const std::string& input) {
  const std::string command = std::string(POKOPEN_CONVERT_PATH) + " " + options + " " + input;
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    out.append(buffer, got);
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

using CapiAgainstConverter = fileTestSupport::TemporaryFolder;

TEST_F(CapiAgainstConverter, RealDocumentsGiveTheSameText) {
  auto documents = japaneseDocuments::Documents(false, 2000, 200000);
  documents.resize(std::min<std::size_t>(documents.size(), 3));
  for (const auto& document : documents) {
    SCOPED_TRACE(document.name);
    const std::string path = Path("document.txt");
    fileTestSupport::WriteBytes(path, document.bytes);
    for (const Setting& setting : kSettings) {
      const Bytes converted = Convert(document.bytes, setting.style, setting.flags);
      ASSERT_EQ(converted.status, POKOPEN_OK);
      const std::string expected = RunConvert(Options(setting.style, setting.flags), path);
      EXPECT_TRUE(converted.text == expected) << "style " << setting.style;
      // The file functions run the converter's own stream unit.
      const std::string out = Path("out.txt");
      EXPECT_EQ(pokopen_convert_file(path.c_str(), out.c_str(), setting.style, setting.flags,
                                     POKOPEN_ENCODING_AUTO, POKOPEN_ENCODING_UTF8, 2, nullptr),
                POKOPEN_OK);
      EXPECT_TRUE(fileTestSupport::ReadBytes(out) == expected) << "style " << setting.style;
      const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      const int to = open(out.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      EXPECT_EQ(pokopen_convert_fd(in, to, setting.style, setting.flags, POKOPEN_ENCODING_AUTO,
                                   POKOPEN_ENCODING_UTF8, 1, nullptr),
                POKOPEN_OK);
      close(in);
      close(to);
      EXPECT_TRUE(fileTestSupport::ReadBytes(out) == expected) << "style " << setting.style;
    }
  }
}

}  // namespace
