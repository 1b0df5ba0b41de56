// libFuzzer target: the engine against the reference transcription of its
// rules on small texts. Any disagreement aborts with both results.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engineComparison.h"

namespace {

// Units the rules care about, so that short inputs already reach matches,
// marks in the window, folds and line breaks.
constexpr std::u16string_view kUnits =
    u"ですデスﾃﾞｽでしたくださいなんのだわたくしあっうちこら私自分あんきみ君おぬそダーリン～ー"
    u"ぽこるりゅっ。、，．（）「」『』｡､｢｣,.()！？!?…\r\nxXaAＡｱﾞﾟ゛\xD83D\xDE00";

constexpr std::uint8_t kSeparator = 0xFF;
constexpr std::uint8_t kRawUnit = 0xFE;  // followed by two bytes of one unit

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

  // Units up to the next separator, at most maxUnits of them.
  std::u16string Text(std::size_t maxUnits) {
    std::u16string out;
    while (at_ < size_ && data_[at_] != kSeparator) {
      const std::uint8_t b = data_[at_++];
      const char16_t unit =
          b == kRawUnit ? static_cast<char16_t>((Byte() << 8) | Byte()) : kUnits[b % kUnits.size()];
      if (out.size() < maxUnits) {
        out += unit;
      }
    }
    ++at_;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

int Flag(std::uint8_t bits) {
  constexpr int kValues[] = {0, 1, 1, -1};
  return kValues[bits & 3];
}

void Check(const std::string& difference) {
  if (!difference.empty()) {
    std::fprintf(stderr, "%s\n", difference.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engineComparison;
  Input in(data, size);
  const std::uint8_t operation = in.Byte();
  const std::uint8_t options = in.Byte();
  const std::uint8_t flags = in.Byte();
  const int style = options % 9 - 1;
  switch (operation % 4) {
    case 0: {
      const std::u16string text = in.Text(64);
      const std::u16string needle = in.Text(8);
      Check(CompareFind(text, needle, 1 + options % (text.size() + 2)));
      Check(CompareReplaceAll(text, needle, in.Text(8)));
      Check(CompareContainsAnyOf(text, needle));
      Check(CompareLeftMid(
          text, static_cast<std::ptrdiff_t>(flags % 80) - 2,
          flags & 0x80 ? std::nullopt : std::optional<std::ptrdiff_t>(options % 10 - 2)));
      break;
    }
    case 1: {
      const std::u16string text = in.Text(48);
      const std::u16string find = in.Text(8);
      const std::u16string replacement = in.Text(8);
      const std::u16string set = in.Text(12);
      Check(CompareGuarded(text, find, replacement, set, 1000, nullptr));
      break;
    }
    case 2:
      Check(CompareConversion(in.Text(256), style, Flag(flags), Flag(flags >> 2), Flag(flags >> 4),
                              Flag(flags >> 6)));
      break;
    default: {
      const std::u16string text = in.Text(256);
      std::vector<std::size_t> cuts;
      for (std::size_t remaining = options % 6; remaining > 0; --remaining) {
        cuts.push_back(in.Byte() % (text.size() + 1));
      }
      std::sort(cuts.begin(), cuts.end());
      Check(CompareStreaming(text, cuts, style, Flag(flags), Flag(flags >> 2), Flag(flags >> 4),
                             Flag(flags >> 6)));
      break;
    }
  }
  return 0;
}
