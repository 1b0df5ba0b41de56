#include "textCodec.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "cp932Table.inc"
#include "vectorCoding.h"

namespace textCodec {

std::string_view EnglishName(Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf8:
      return "UTF-8";
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
      return "UTF-16";
    case Encoding::Cp932:
      return "code page 932";
  }
  return "";
}

std::string CodePointText(char32_t codePoint) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
  return text;
}
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;
constexpr std::size_t kLeadRows = 60;

bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

char32_t CombineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}

bool StartsSurrogatePair(std::u16string_view text, std::size_t index) {
  return IsHighSurrogate(text[index]) && index + 1 < text.size() && IsLowSurrogate(text[index + 1]);
}

// The row of a lead byte in the pair table, or -1 for a byte that leads no pair.
constexpr int LeadRow(unsigned byte) {
  if (byte >= 0x81 && byte <= 0x9F) {
    return static_cast<int>(byte - 0x81);
  }
  if (byte >= 0xE0 && byte <= 0xFC) {
    return static_cast<int>(byte - 0xE0 + 0x1F);
  }
  return -1;
}

constexpr unsigned RowLead(std::size_t row) {
  return static_cast<unsigned>(row < 0x1F ? 0x81 + row : 0xE0 + row - 0x1F);
}

struct LookAlike {
  char16_t character;
  std::uint16_t code;
};

// Characters that other Japanese mappings use in place of code page 932's own
// ones; written as those, so that text from such sources can still be saved.
constexpr LookAlike kLookAlikes[] = {
    {0x301C, 0x8160}, {0x2016, 0x8161}, {0x2212, 0x817C}, {0x00A2, 0x8191},
    {0x00A3, 0x8192}, {0x00AC, 0x81CA}, {0x2014, 0x815C}, {0x00A0, 0x0020},
};

using EncodeTable = std::array<std::uint16_t, 0x10000>;

// Every character gets its lowest code unless it has a preferred one; a
// look-alike must not shadow a character of the table.
constexpr EncodeTable BuildEncodeTable() {
  EncodeTable table{};
  table.fill(kNoCode);
  for (unsigned byte = 0; byte <= 0xFF; ++byte) {
    const char16_t character = cp932Table::kSingleByte[byte];
    if (character != cp932Table::kNoCharacter && table[character] == kNoCode) {
      table[character] = static_cast<std::uint16_t>(byte);
    }
  }
  for (std::size_t row = 0; row < kLeadRows; ++row) {
    for (unsigned trail = 0; trail < cp932Table::kTrailCount; ++trail) {
      const char16_t character = cp932Table::kDoubleByte[row * cp932Table::kTrailCount + trail];
      if (character != 0 && table[character] == kNoCode) {
        table[character] =
            static_cast<std::uint16_t>((RowLead(row) << 8) | (cp932Table::kFirstTrail + trail));
      }
    }
  }
  for (const auto& preferred : cp932Table::kPreferredCodes) {
    table[preferred.character] = preferred.code;
  }
  for (const auto& lookAlike : kLookAlikes) {
    if (table[lookAlike.character] != kNoCode) {
      throw std::logic_error("a look-alike is a character of code page 932");
    }
    table[lookAlike.character] = lookAlike.code;
  }
  return table;
}

constexpr EncodeTable kEncodeTable = BuildEncodeTable();

std::uint16_t Cp932CodeOf(char16_t unit) {
  return kEncodeTable[unit];
}

// Where an encoder stopped: the unit index of the first character it cannot
// write, and the bytes written before it.
struct Progress {
  std::size_t bytesWritten = 0;
  std::optional<std::size_t> unencodableAt;
};

// The most bytes the code page 932 form of text can take.
std::size_t Cp932Room(std::u16string_view text) {
  return text.size() * 2;
}

// Whether the unit at i is the CR of a CR LF that is written as LF.
bool IsDroppedCr(std::u16string_view text, std::size_t i, LineBreakBytes breaks) {
  return breaks == LineBreakBytes::CrLfAsLf && IsCrOfCrLf(text, i);
}

// Writes a run of ASCII units eight at a time, as the one byte each takes in
// both encodings; returns how many it wrote. A CR that may be dropped stops it.
template <LineBreakBytes kBreaks>
std::size_t NarrowAscii(std::u16string_view text, std::size_t from, char* out) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= text.size(); i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(block, high), zero);
    if constexpr (kBreaks == LineBreakBytes::CrLfAsLf) {
      ascii = _mm_andnot_si128(_mm_cmpeq_epi16(block, _mm_set1_epi16(u'\r')), ascii);
    }
    if (_mm_movemask_epi8(ascii) != 0xFFFF) {
      break;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (i - from)), _mm_packus_epi16(block, zero));
  }
#endif
  return i - from;
}

std::size_t NarrowAscii(std::u16string_view text, std::size_t from, char* out,
                        LineBreakBytes breaks) {
  return breaks == LineBreakBytes::CrLfAsLf
             ? NarrowAscii<LineBreakBytes::CrLfAsLf>(text, from, out)
             : NarrowAscii<LineBreakBytes::AsTheyAre>(text, from, out);
}

#if defined(__x86_64__)
// Writes a run of units from U+0800 to U+FFFF, surrogates apart, as the three
// bytes each takes in UTF-8, four units at a time; returns how many it wrote.
__attribute__((target("ssse3"))) std::size_t WriteThreeByteRun(std::u16string_view text,
                                                               std::size_t from, char* out) {
  const __m128i flip = _mm_set1_epi16(-0x8000);
  const __m128i belowThreeBytes = _mm_set1_epi16(0x07FF - 0x8000);
  const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
  const __m128i sixBits = _mm_set1_epi16(0x3F);
  // Lead and middle byte of each unit, then its last byte and a zero: the
  // zeros are dropped.
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  std::size_t i = from;
  for (; i + 4 <= text.size(); i += 4) {
    const __m128i units = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i threeBytes = _mm_cmpgt_epi16(_mm_xor_si128(units, flip), belowThreeBytes);
    const __m128i isSurrogate = _mm_cmpeq_epi16(_mm_and_si128(units, surrogateBits), surrogate);
    if ((_mm_movemask_epi8(_mm_andnot_si128(isSurrogate, threeBytes)) & 0xFF) != 0xFF) {
      break;
    }
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(units, 12), _mm_set1_epi16(0xE0));
    const __m128i middle =
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(units, 6), sixBits), _mm_set1_epi16(0x80));
    const __m128i last = _mm_or_si128(_mm_and_si128(units, sixBits), _mm_set1_epi16(0x80));
    const __m128i leadAndMiddle = _mm_or_si128(lead, _mm_slli_epi16(middle, 8));
    const __m128i bytes = _mm_shuffle_epi8(_mm_unpacklo_epi16(leadAndMiddle, last), pack);
    char* to = out + 3 * (i - from);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
    const auto rest = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(to + 8, &rest, 4);
  }
  return i - from;
}

// How four units, each given as the bytes [lead, middle, last, 0], are packed
// into UTF-8, for each unit's length in two bits of the index: 0 for the CR of
// a CR LF written as nothing, 1 for ASCII (its lead alone), 2 for two bytes
// (its lead and last), 3 for three.
struct PackedFour {
  std::array<std::int8_t, 16> shuffle{};
  std::uint8_t bytes = 0;
};

constexpr std::array<PackedFour, 256> MakePackedFours() {
  std::array<PackedFour, 256> packs{};
  for (unsigned lengths = 0; lengths < 256; ++lengths) {
    PackedFour& pack = packs[lengths];
    pack.shuffle.fill(-1);
    for (unsigned unit = 0; unit < 4; ++unit) {
      const unsigned length = lengths >> (2 * unit) & 3;
      const auto byte = [&](unsigned b) {
        pack.shuffle[pack.bytes++] = static_cast<std::int8_t>(4 * unit + b);
      };
      if (length >= 1) {
        byte(0);
      }
      if (length == 3) {
        byte(1);
      }
      if (length >= 2) {
        byte(2);
      }
    }
  }
  return packs;
}

constexpr std::array<PackedFour, 256> kPackedFours = MakePackedFours();

constexpr std::uint32_t kEvenBits = 0x55555555;

// Writes units below U+10000 but surrogates, as real documents mix ASCII,
// Japanese and the odd Latin letter or no-break space every few characters,
// eight at a time, with the CR of each CR LF dropped where it is to be; returns
// how many it wrote and sets `written` to the bytes. Each four units are
// stored as sixteen bytes, of which at least two are theirs (four where no CR
// is dropped): the stores stay within the bytes the rest of the text takes, at
// least a byte a unit (half a byte where CRs are dropped), for it stops 12 (or
// 32) units before the end.
template <LineBreakBytes kBreaks>
__attribute__((target("ssse3"))) std::size_t WriteMixedRun(std::u16string_view text,
                                                           std::size_t from, char* out,
                                                           std::size_t& written) {
  const __m128i asciiBits = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i twoByteBits = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
  const __m128i sixBits = _mm_set1_epi16(0x3F);
  const __m128i continuation = _mm_set1_epi16(0x80);
  constexpr bool kDropping = kBreaks == LineBreakBytes::CrLfAsLf;
  constexpr std::size_t kMargin = kDropping ? 32 : 12;
  std::size_t i = from;
  char* to = out;
  for (; i + 8 + kMargin <= text.size(); i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i highBits = _mm_and_si128(units, twoByteBits);
    // Surrogates are left to the loop one at a time.
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(highBits, surrogate)) != 0) {
      break;
    }
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, asciiBits), _mm_setzero_si128());
    const __m128i belowThree = _mm_cmpeq_epi16(highBits, _mm_setzero_si128());
    const __m128i twoLead = _mm_or_si128(_mm_srli_epi16(units, 6), _mm_set1_epi16(0xC0));
    const __m128i threeLead = _mm_or_si128(_mm_srli_epi16(units, 12), _mm_set1_epi16(0xE0));
    const __m128i lead = _mm_or_si128(
        _mm_and_si128(ascii, units),
        _mm_andnot_si128(ascii, _mm_or_si128(_mm_and_si128(belowThree, twoLead),
                                             _mm_andnot_si128(belowThree, threeLead))));
    const __m128i middle =
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(units, 6), sixBits), continuation);
    const __m128i last = _mm_or_si128(_mm_and_si128(units, sixBits), continuation);
    const __m128i leadAndMiddle = _mm_or_si128(lead, _mm_slli_epi16(middle, 8));
    // Two bits a unit: the low one for ASCII or three bytes, the high one for
    // two or three, neither for a CR dropped.
    auto lowBit =
        ~static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_andnot_si128(ascii, belowThree)));
    auto highBit = ~static_cast<std::uint32_t>(_mm_movemask_epi8(ascii));
    if constexpr (kDropping) {
      // A CR before LF, the LF possibly the unit after these eight.
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i + 1));
      const auto dropped = static_cast<std::uint32_t>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\r')),
                                          _mm_cmpeq_epi16(next, _mm_set1_epi16(u'\n')))));
      lowBit &= ~dropped;
      highBit &= ~dropped;
    }
    const std::uint32_t lengths = ((lowBit & kEvenBits) | (highBit & ~kEvenBits)) & 0xFFFF;
    const PackedFour& low = kPackedFours[lengths & 0xFF];
    const PackedFour& high = kPackedFours[lengths >> 8];
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(to),
        _mm_shuffle_epi8(_mm_unpacklo_epi16(leadAndMiddle, last),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(low.shuffle.data()))));
    to += low.bytes;
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(to),
        _mm_shuffle_epi8(_mm_unpackhi_epi16(leadAndMiddle, last),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(high.shuffle.data()))));
    to += high.bytes;
  }
  written = static_cast<std::size_t>(to - out);
  return i - from;
}

// WriteMixedRun sixteen units at a time, for processors with AVX2.
template <LineBreakBytes kBreaks>
__attribute__((target("avx2"))) std::size_t WriteMixedRunAvx2(std::u16string_view text,
                                                              std::size_t from, char* out,
                                                              std::size_t& written) {
  const __m256i asciiBits = _mm256_set1_epi16(static_cast<short>(0xFF80));
  const __m256i twoByteBits = _mm256_set1_epi16(static_cast<short>(0xF800));
  const __m256i surrogate = _mm256_set1_epi16(static_cast<short>(0xD800));
  const __m256i sixBits = _mm256_set1_epi16(0x3F);
  const __m256i continuation = _mm256_set1_epi16(0x80);
  const __m256i zero = _mm256_setzero_si256();
  constexpr bool kDropping = kBreaks == LineBreakBytes::CrLfAsLf;
  constexpr std::size_t kMargin = kDropping ? 32 : 12;
  const auto shuffleOf = [](std::uint32_t lengths, unsigned quarter) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(
        kPackedFours[lengths >> (8 * quarter) & 0xFF].shuffle.data()));
  };
  const auto bytesOf = [](std::uint32_t lengths, unsigned quarter) {
    return kPackedFours[lengths >> (8 * quarter) & 0xFF].bytes;
  };
  std::size_t i = from;
  char* to = out;
  for (; i + 16 + kMargin <= text.size(); i += 16) {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text.data() + i));
    const __m256i highBits = _mm256_and_si256(units, twoByteBits);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(highBits, surrogate)) != 0) {
      break;
    }
    const __m256i ascii = _mm256_cmpeq_epi16(_mm256_and_si256(units, asciiBits), zero);
    const __m256i belowThree = _mm256_cmpeq_epi16(highBits, zero);
    const __m256i twoLead = _mm256_or_si256(_mm256_srli_epi16(units, 6), _mm256_set1_epi16(0xC0));
    const __m256i threeLead =
        _mm256_or_si256(_mm256_srli_epi16(units, 12), _mm256_set1_epi16(0xE0));
    const __m256i lead =
        _mm256_blendv_epi8(_mm256_blendv_epi8(threeLead, twoLead, belowThree), units, ascii);
    const __m256i middle =
        _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(units, 6), sixBits), continuation);
    const __m256i last = _mm256_or_si256(_mm256_and_si256(units, sixBits), continuation);
    const __m256i leadAndMiddle = _mm256_or_si256(lead, _mm256_slli_epi16(middle, 8));
    auto lowBit =
        ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(ascii, belowThree)));
    auto highBit = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(ascii));
    if constexpr (kDropping) {
      const __m256i next =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text.data() + i + 1));
      const auto dropped = static_cast<std::uint32_t>(_mm256_movemask_epi8(
          _mm256_and_si256(_mm256_cmpeq_epi16(units, _mm256_set1_epi16(u'\r')),
                           _mm256_cmpeq_epi16(next, _mm256_set1_epi16(u'\n')))));
      lowBit &= ~dropped;
      highBit &= ~dropped;
    }
    const std::uint32_t lengths = (lowBit & kEvenBits) | (highBit & ~kEvenBits);
    // Within each lane: units 0 to 3 (8 to 11) low, 4 to 7 (12 to 15) high.
    const __m256i low =
        _mm256_shuffle_epi8(_mm256_unpacklo_epi16(leadAndMiddle, last),
                            _mm256_inserti128_si256(_mm256_castsi128_si256(shuffleOf(lengths, 0)),
                                                    shuffleOf(lengths, 2), 1));
    const __m256i high =
        _mm256_shuffle_epi8(_mm256_unpackhi_epi16(leadAndMiddle, last),
                            _mm256_inserti128_si256(_mm256_castsi128_si256(shuffleOf(lengths, 1)),
                                                    shuffleOf(lengths, 3), 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(low));
    to += bytesOf(lengths, 0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(high));
    to += bytesOf(lengths, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_extracti128_si256(low, 1));
    to += bytesOf(lengths, 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_extracti128_si256(high, 1));
    to += bytesOf(lengths, 3);
  }
  written = static_cast<std::size_t>(to - out);
  return i - from;
}

// Bytes compared as signed: continuations (0x80 to 0xBF) are the least,
// leads follow in order.
constexpr char SignedByte(unsigned byte) {
  return static_cast<char>(byte);
}

// The bytes that lead a three-byte sequence and put no bound on its second
// byte beyond its being a continuation: 0xE1 to 0xEF but 0xED.
__attribute__((target("ssse3"))) inline __m128i IsFreeThreeByteLead(__m128i block) {
  return _mm_andnot_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(SignedByte(0xED))),
                          _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(SignedByte(0xE0))),
                                        _mm_cmpgt_epi8(_mm_set1_epi8(SignedByte(0xF0)), block)));
}

__attribute__((target("ssse3"))) inline __m128i IsContinuationByte(__m128i block) {
  return _mm_cmpgt_epi8(_mm_set1_epi8(SignedByte(0xC0)), block);
}

// Reads a run of three-byte UTF-8 sequences whose leads put no bound on the
// second byte (0xE1 to 0xEF but 0xED), five at a time; returns the bytes read.
// The sink has room for eight units more than it is given.
__attribute__((target("ssse3"))) std::size_t ReadThreeByteRun(std::string_view bytes,
                                                              std::size_t from, char16_t* out) {
  constexpr int kLeads = 0x1249;          // bytes 0, 3, 6, 9, 12
  constexpr int kContinuations = 0x6DB6;  // the two after each lead
  const __m128i gatherFirstTwo =
      _mm_setr_epi8(1, 0, 4, 3, 7, 6, 10, 9, 13, 12, -1, -1, -1, -1, -1, -1);
  const __m128i gatherLast =
      _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1);
  std::size_t i = from;
  for (; i + 16 <= bytes.size(); i += 15) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    const __m128i isLead = IsFreeThreeByteLead(block);
    const __m128i isContinuation = IsContinuationByte(block);
    if ((_mm_movemask_epi8(isLead) & kLeads) != kLeads ||
        (_mm_movemask_epi8(isContinuation) & kContinuations) != kContinuations) {
      break;
    }
    // Per sequence: w = lead << 8 | second, then the last byte.
    const __m128i firstTwo = _mm_shuffle_epi8(block, gatherFirstTwo);
    const __m128i last = _mm_shuffle_epi8(block, gatherLast);
    const __m128i units = _mm_or_si128(
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(firstTwo, _mm_set1_epi16(0x0F00)), 4),
                     _mm_slli_epi16(_mm_and_si128(firstTwo, _mm_set1_epi16(0x003F)), 6)),
        _mm_and_si128(last, _mm_set1_epi16(0x003F)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - from) / 3), units);
  }
  return i - from;
}

// The bytes that lead a two-byte sequence: 0xC2 to 0xDF.
__attribute__((target("ssse3"))) inline __m128i IsTwoByteLead(__m128i block) {
  return _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(SignedByte(0xC1))),
                       _mm_cmpgt_epi8(_mm_set1_epi8(SignedByte(0xE0)), block));
}

// How the characters that begin in eight bytes of ASCII, two-byte and
// three-byte sequences are gathered into units, for each place where one
// begins among those eight bytes and the two after them: the lead and middle
// byte of each unit (a two-byte one's lead as its middle, its last byte as
// its last; an ASCII one's byte alone) and its last byte, and how many units.
using Shuffle = std::array<std::int8_t, 16>;

struct MixedLayout {
  Shuffle leadAndMiddle{};
  Shuffle last{};
  std::uint8_t units = 0;
};

constexpr unsigned kMixedBytes = 8;
// The beginnings that tell the layout: up to the third byte of a character
// that begins in the last of the eight.
constexpr unsigned kMixedStarts = kMixedBytes + 2;
constexpr std::size_t kMixedLayoutCount = 193;

// A character's length from where the next begins; within a run of valid
// sequences none is longer than three.
constexpr unsigned LengthAt(unsigned starts, unsigned at) {
  return (starts >> (at + 1) & 1) != 0 ? 1 : (starts >> (at + 2) & 1) != 0 ? 2 : 3;
}

constexpr MixedLayout MakeMixedLayout(unsigned starts) {
  MixedLayout layout;
  layout.leadAndMiddle.fill(-1);
  layout.last.fill(-1);
  unsigned at = 0;
  for (std::size_t lane = 0; at < kMixedBytes; lane += 2, ++layout.units) {
    const auto byte = static_cast<std::int8_t>(at);
    const unsigned length = LengthAt(starts, at);
    if (length == 1) {
      layout.leadAndMiddle[lane] = byte;
    } else if (length == 2) {
      layout.leadAndMiddle[lane] = byte;
      layout.last[lane] = static_cast<std::int8_t>(byte + 1);
    } else {
      layout.leadAndMiddle[lane] = static_cast<std::int8_t>(byte + 1);
      layout.leadAndMiddle[lane + 1] = byte;
      layout.last[lane] = static_cast<std::int8_t>(byte + 2);
    }
    at += length;
  }
  return layout;
}

// The beginnings that tell a layout, and nothing more: those of the
// characters that begin in the eight bytes, and of the one after them where
// it begins among the ten.
constexpr unsigned ShapingStarts(unsigned starts) {
  unsigned shaping = 0;
  unsigned at = 0;
  for (starts |= 1; at < kMixedBytes; at += LengthAt(starts, at)) {
    shaping |= 1u << at;
  }
  return at < kMixedStarts ? shaping | 1u << at : shaping;
}

// The layouts' shuffles in aligned arrays of their own, so that no load of
// one crosses a cache line.
struct MixedLayouts {
  std::array<std::uint8_t, 1u << kMixedStarts> index{};
  alignas(16) std::array<Shuffle, kMixedLayoutCount> leadAndMiddle{};
  alignas(16) std::array<Shuffle, kMixedLayoutCount> last{};
  std::array<std::uint8_t, kMixedLayoutCount> units{};
};

constexpr MixedLayouts MakeMixedLayouts() {
  MixedLayouts all;
  std::array<std::uint8_t, 1u << kMixedStarts> layoutOf{};
  std::size_t count = 0;
  for (unsigned starts = 0; starts < all.index.size(); ++starts) {
    if (ShapingStarts(starts) == starts) {
      if (count == kMixedLayoutCount) {
        throw std::logic_error("the count of layouts is wrong");
      }
      const MixedLayout layout = MakeMixedLayout(starts);
      all.leadAndMiddle[count] = layout.leadAndMiddle;
      all.last[count] = layout.last;
      all.units[count] = layout.units;
      layoutOf[starts] = static_cast<std::uint8_t>(count++);
    }
  }
  if (count != kMixedLayoutCount) {
    throw std::logic_error("the count of layouts is wrong");
  }
  for (unsigned starts = 0; starts < all.index.size(); ++starts) {
    all.index[starts] = layoutOf[ShapingStarts(starts)];
  }
  return all;
}

constexpr MixedLayouts kMixedLayouts = MakeMixedLayouts();

// Bit k of each mask stands for byte k of sixty-four.
struct ByteMasks {
  std::uint64_t nonAscii = 0;
  std::uint64_t twoByteLeads = 0;
  std::uint64_t threeByteLeads = 0;  // that put no bound on the second byte
  std::uint64_t continuations = 0;
};

// The sixteen bytes' marks as bits from `shift` on.
__attribute__((target("ssse3"))) inline std::uint64_t MaskOf(__m128i is, unsigned shift) {
  return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(is))} << shift;
}

__attribute__((target("ssse3"))) ByteMasks MasksOf(const char* bytes) {
  ByteMasks masks;
  for (unsigned k = 0; k < 4; ++k) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
    masks.nonAscii |= MaskOf(block, 16 * k);
    masks.threeByteLeads |= MaskOf(IsFreeThreeByteLead(block), 16 * k);
    masks.continuations |= MaskOf(IsContinuationByte(block), 16 * k);
  }
  // Two-byte leads are rare: looked for only where some other lead is, which
  // saves a tenth of reading where there are none.
  if ((masks.nonAscii & ~masks.continuations & ~masks.threeByteLeads) != 0) {
    for (unsigned k = 0; k < 4; ++k) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
      masks.twoByteLeads |= MaskOf(IsTwoByteLead(block), 16 * k);
    }
  }
  return masks;
}

__attribute__((target("avx2"))) inline __m256i ByteSet(unsigned byte) {
  return _mm256_set1_epi8(SignedByte(byte));
}

__attribute__((target("avx2"))) inline std::uint64_t MaskOf(__m256i is, unsigned shift) {
  return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(is))} << shift;
}

// MasksOf thirty-two bytes at a time, for processors with AVX2, where the
// two-byte leads cost too little to be left out.
__attribute__((target("avx2"))) ByteMasks MasksOfAvx2(const char* bytes) {
  ByteMasks masks;
  for (unsigned k = 0; k < 2; ++k) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * k));
    const unsigned shift = 32 * k;
    masks.nonAscii |= MaskOf(block, shift);
    masks.twoByteLeads |= MaskOf(_mm256_and_si256(_mm256_cmpgt_epi8(block, ByteSet(0xC1)),
                                                  _mm256_cmpgt_epi8(ByteSet(0xE0), block)),
                                 shift);
    masks.threeByteLeads |=
        MaskOf(_mm256_andnot_si256(_mm256_cmpeq_epi8(block, ByteSet(0xED)),
                                   _mm256_and_si256(_mm256_cmpgt_epi8(block, ByteSet(0xE0)),
                                                    _mm256_cmpgt_epi8(ByteSet(0xF0), block))),
               shift);
    masks.continuations |= MaskOf(_mm256_cmpgt_epi8(ByteSet(0xC0), block), shift);
  }
  return masks;
}

// Reads what it can of sixty-four bytes of ASCII mixed with two-byte
// sequences and three-byte ones whose leads put no bound on the second byte,
// given their masks; returns the bytes read, and whether it stopped at a byte
// that the characters before it are to be read up to one by one. Each step's
// length follows from the masks alone, and the characters that begin in each
// eight bytes are gathered into units together.
struct MixedStep {
  std::size_t read = 0;
  bool stopped = false;
};

__attribute__((target("ssse3"), always_inline)) inline MixedStep ReadMixedSixtyFour(
    const char* bytes, const ByteMasks& masks, char16_t*& to) {
  constexpr unsigned kWindow = (1u << kMixedStarts) - 1;
  const __m128i zero = _mm_setzero_si128();
  if (masks.nonAscii == 0) {
    for (unsigned k = 0; k < 4; ++k) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * k), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * k + 8), _mm_unpackhi_epi8(block, zero));
    }
    to += 64;
    return {64, false};
  }
  // The bytes before the first that is neither ASCII, a lead nor a
  // continuation that a lead needs, or where one that a lead needs is not.
  const std::uint64_t leads = masks.twoByteLeads | masks.threeByteLeads;
  const std::uint64_t needed = leads << 1 | masks.threeByteLeads << 2;
  const std::uint64_t wrong =
      (masks.nonAscii & ~leads & ~masks.continuations) | (masks.continuations ^ needed);
  const auto good = static_cast<std::size_t>(std::countr_zero(wrong));
  // The beginnings from the step's first byte on.
  std::uint64_t starts = ~masks.continuations;
  // Eight bytes and the continuations of a character that begins in their
  // last; the sixteen-byte load stays within the sixty-four.
  std::size_t at = 0;
  while (at + kMixedStarts <= good && at + 16 <= 64) {
    const auto window = static_cast<unsigned>(starts) & kWindow;
    const std::size_t layout = kMixedLayouts.index[window];
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    const __m128i leadAndMiddle = _mm_shuffle_epi8(
        block, _mm_load_si128(
                   reinterpret_cast<const __m128i*>(kMixedLayouts.leadAndMiddle[layout].data())));
    const __m128i last = _mm_shuffle_epi8(
        block, _mm_load_si128(reinterpret_cast<const __m128i*>(kMixedLayouts.last[layout].data())));
    const __m128i joined = _mm_or_si128(
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(leadAndMiddle, _mm_set1_epi16(0x0F00)), 4),
                     _mm_slli_epi16(_mm_and_si128(leadAndMiddle, _mm_set1_epi16(0x003F)), 6)),
        _mm_and_si128(last, _mm_set1_epi16(0x003F)));
    const __m128i ascii = _mm_cmpeq_epi16(
        _mm_and_si128(leadAndMiddle, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(to),
        _mm_or_si128(_mm_and_si128(ascii, leadAndMiddle), _mm_andnot_si128(ascii, joined)));
    to += kMixedLayouts.units[layout];
    // 8, 9 or 10 bytes, as the next character begins at byte 8, 9 or
    // neither; told by the beginnings rather than the layout, so that the
    // next step need not wait for its load.
    const unsigned step = 0x898Au >> (4 * (window >> kMixedBytes)) & 0xF;
    at += step;
    starts >>= step;
  }
  return {at, at + kMixedStarts > good};
}

// Reads ASCII mixed with two-byte and three-byte sequences, as real documents
// alternate them every few characters, sixty-four bytes at a time; returns the
// bytes read and sets `written` to the units. It stops sixty-four bytes before
// the end.
__attribute__((target("ssse3"))) std::size_t ReadMixedRun(std::string_view bytes, std::size_t from,
                                                          char16_t* out, std::size_t& written) {
  std::size_t i = from;
  char16_t* to = out;
  for (MixedStep step; !step.stopped && i + 64 <= bytes.size(); i += step.read) {
    step = ReadMixedSixtyFour(bytes.data() + i, MasksOf(bytes.data() + i), to);
  }
  written = static_cast<std::size_t>(to - out);
  return i - from;
}

__attribute__((target("avx2"))) std::size_t ReadMixedRunAvx2(std::string_view bytes,
                                                             std::size_t from, char16_t* out,
                                                             std::size_t& written) {
  std::size_t i = from;
  char16_t* to = out;
  for (MixedStep step; !step.stopped && i + 64 <= bytes.size(); i += step.read) {
    step = ReadMixedSixtyFour(bytes.data() + i, MasksOfAvx2(bytes.data() + i), to);
  }
  written = static_cast<std::size_t>(to - out);
  return i - from;
}
#endif

// out has room for Cp932Room(text) bytes.
Progress WriteCp932(std::u16string_view text, char* out, LineBreakBytes breaks) {
  char* const start = out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t ascii = NarrowAscii(text, i, out, breaks);
    i += ascii;
    out += ascii;
    if (i == text.size()) {
      break;
    }
    if (IsDroppedCr(text, i, breaks)) {
      continue;
    }
    const std::uint16_t code = Cp932CodeOf(text[i]);
    if (code == kNoCode) {
      return {static_cast<std::size_t>(out - start), i};
    }
    if (code > 0xFF) {
      *out++ = static_cast<char>(code >> 8);
    }
    *out++ = static_cast<char>(code & 0xFF);
  }
  return {static_cast<std::size_t>(out - start), std::nullopt};
}

// The length of the UTF-8 form of text: a pair of surrogates takes four bytes,
// two for each; a lone one fails to encode, so what it counts does not matter.
std::size_t Utf8Length(std::u16string_view text) {
  std::size_t length = 0;
  for (const char16_t unit : text) {
    length += unit < 0x80                                                     ? 1
              : unit < 0x800 || IsHighSurrogate(unit) || IsLowSurrogate(unit) ? 2
                                                                              : 3;
  }
  return length;
}

// out has room for Utf8Length(text) bytes, or MostBytes where CRs are dropped.
Progress WriteUtf8(std::u16string_view text, char* out, LineBreakBytes breaks) {
  char* const start = out;
  [[maybe_unused]] const bool ssse3 = detail::CodingPaths() != detail::VectorPaths::Plain;
  [[maybe_unused]] const bool avx2 = detail::CodingPaths() == detail::VectorPaths::Avx2;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t ascii = NarrowAscii(text, i, out, breaks);
    i += ascii;
    out += ascii;
#if defined(__x86_64__)
    if (i < text.size() && text[i] >= 0x800 && ssse3) {
      const std::size_t run = WriteThreeByteRun(text, i, out);
      i += run;
      out += 3 * run;
    }
    if (ssse3) {
      std::size_t bytes = 0;
      if (avx2) {
        i += breaks == LineBreakBytes::CrLfAsLf
                 ? WriteMixedRunAvx2<LineBreakBytes::CrLfAsLf>(text, i, out, bytes)
                 : WriteMixedRunAvx2<LineBreakBytes::AsTheyAre>(text, i, out, bytes);
        out += bytes;
      }
      i += breaks == LineBreakBytes::CrLfAsLf
               ? WriteMixedRun<LineBreakBytes::CrLfAsLf>(text, i, out, bytes)
               : WriteMixedRun<LineBreakBytes::AsTheyAre>(text, i, out, bytes);
      out += bytes;
    }
#endif
    if (i == text.size()) {
      break;
    }
    const char16_t unit = text[i];
    if (IsDroppedCr(text, i, breaks)) {
      continue;
    }
    if (unit < 0x80) {
      // The rest of a short run of ASCII, a unit at a time, up to a CR.
      *out++ = static_cast<char>(unit);
      while (i + 1 < text.size() && text[i + 1] < 0x80 && text[i + 1] != u'\r') {
        *out++ = static_cast<char>(text[++i]);
      }
    } else if (unit < 0x800) {
      *out++ = static_cast<char>(0xC0 | (unit >> 6));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      if (!StartsSurrogatePair(text, i)) {
        return {static_cast<std::size_t>(out - start), i};
      }
      const char32_t codePoint = CombineSurrogates(unit, text[++i]);
      *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
      *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (unit >> 12));
      *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return {static_cast<std::size_t>(out - start), std::nullopt};
}

// out has room for 2 * text.size() bytes. A lone surrogate is not written:
// strict UTF-16, as the decoder reads it.
Progress WriteUtf16(std::u16string_view text, bool bigEndian, char* out, LineBreakBytes breaks) {
  char* const start = out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsDroppedCr(text, i, breaks)) {
      continue;
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      if (!StartsSurrogatePair(text, i)) {
        return {static_cast<std::size_t>(out - start), i};
      }
    }
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    *out++ = bigEndian ? high : low;
    *out++ = bigEndian ? low : high;
    if (IsHighSurrogate(unit)) {
      const char16_t second = text[++i];
      *out++ = static_cast<char>(bigEndian ? second >> 8 : second & 0xFF);
      *out++ = static_cast<char>(bigEndian ? second & 0xFF : second >> 8);
    }
  }
  return {static_cast<std::size_t>(out - start), std::nullopt};
}

// Appends the encoding of text to out, or leaves out as it was and returns the
// index of the first character the writer cannot encode.
template <typename Writer>
std::optional<std::size_t> AppendEncoded(std::u16string_view text, std::string& out,
                                         std::size_t room, Writer write) {
  const std::size_t start = out.size();
  out.resize(start + room);
  const Progress progress = write(text, out.data() + start, LineBreakBytes::AsTheyAre);
  out.resize(progress.unencodableAt ? start : start + progress.bytesWritten);
  return progress.unencodableAt;
}

template <typename Writer>
Encoded Encode(std::u16string_view text, std::size_t room, Writer write) {
  Encoded encoded;
  if (const auto at = AppendEncoded(text, encoded.bytes, room, write)) {
    encoded.bytes = std::string();
    encoded.error = Locate(text, *at);
  }
  return encoded;
}

template <typename Writer>
void AppendOrThrow(std::u16string_view text, std::string& out, std::size_t room, Writer write,
                   const char* encodingName) {
  if (const auto at = AppendEncoded(text, out, room, write)) {
    const Unencodable where = Locate(text, *at);
    throw std::invalid_argument(
        CodePointText(where.codePoint) + " at line " + std::to_string(where.line) + ", column " +
        std::to_string(where.column) + " cannot be written in " + encodingName);
  }
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Writes units through a raw pointer into room the caller made for the most
// units the bytes can give.
class UnitSink {
 public:
  explicit UnitSink(char16_t* out) : start_(out), next_(out) {}

  void Put(char16_t unit) { *next_++ = unit; }
  char16_t* Next() { return next_; }
  void Advance(std::size_t count) { next_ += count; }
  std::size_t Written() const { return static_cast<std::size_t>(next_ - start_); }

 private:
  char16_t* start_;
  char16_t* next_;
};

// Copies a run of ASCII bytes sixteen at a time; returns how many it copied.
std::size_t CopyAscii(std::string_view bytes, std::size_t from, UnitSink& sink) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= bytes.size(); i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    if (_mm_movemask_epi8(block) != 0) {
      break;
    }
    char16_t* to = sink.Next();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(block, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 8), _mm_unpackhi_epi8(block, zero));
    sink.Advance(16);
  }
#endif
  return i - from;
}

// The length of the UTF-8 sequence a lead byte begins and the range of its
// second byte, which excludes overlong forms, surrogates and code points above
// U+10FFFF; length 0 for a byte that begins none.
struct Utf8Lead {
  std::size_t length = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
};

Utf8Lead Utf8LeadOf(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return {2};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return {3, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
            static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return {4, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
            static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
  }
  return {};
}

DecodeProgress DecodeUtf8Some(std::string_view bytes, bool final, UnitSink& sink) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const std::size_t size = bytes.size();
  [[maybe_unused]] const bool ssse3 = detail::CodingPaths() != detail::VectorPaths::Plain;
  [[maybe_unused]] const bool avx2 = detail::CodingPaths() == detail::VectorPaths::Avx2;
  [[maybe_unused]] std::size_t mixedFrom = 0;
  std::size_t i = 0;
  while (i < size) {
#if defined(__x86_64__)
    // Where the run stops short of the end, the characters up to the byte it
    // stopped for are read one by one before it is tried again.
    if (ssse3 && i >= mixedFrom) {
      std::size_t units = 0;
      i += avx2 ? ReadMixedRunAvx2(bytes, i, sink.Next(), units)
                : ReadMixedRun(bytes, i, sink.Next(), units);
      sink.Advance(units);
      mixedFrom = i + kMixedStarts;
      if (i == size) {
        break;
      }
    }
#endif
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      i += CopyAscii(bytes, i, sink);
      // The rest of a short run, a byte at a time.
      while (i < size && at(i) < 0x80) {
        sink.Put(at(i++));
      }
      continue;
    }
    // Kana, kanji and most of the rest of Japanese: three bytes whose lead
    // puts no bound on the second byte beyond its being a continuation.
#if defined(__x86_64__)
    if (lead >= 0xE1 && ssse3) {
      const std::size_t run = ReadThreeByteRun(bytes, i, sink.Next());
      sink.Advance(run / 3);
      i += run;
      if (run > 0) {
        continue;
      }
    }
#endif
    if (lead >= 0xE1 && lead != 0xED && lead <= 0xEF && i + 2 < size) {
      const unsigned char second = at(i + 1);
      const unsigned char third = at(i + 2);
      if (IsContinuation(second) && IsContinuation(third)) {
        sink.Put(static_cast<char16_t>(((lead & 0x0Fu) << 12) | ((second & 0x3Fu) << 6) |
                                       (third & 0x3Fu)));
        i += 3;
        continue;
      }
    }
    const Utf8Lead form = Utf8LeadOf(lead);
    if (form.length == 0) {
      return {i, i};
    }
    // Every byte that is there must fit, whether or not the sequence is whole.
    const std::size_t available = std::min(form.length, size - i);
    if (available > 1 && (at(i + 1) < form.secondLow || at(i + 1) > form.secondHigh)) {
      return {i, i};
    }
    for (std::size_t k = 2; k < available; ++k) {
      if (!IsContinuation(at(i + k))) {
        return {i, i};
      }
    }
    if (available < form.length) {
      return final ? DecodeProgress{i, i} : DecodeProgress{i, std::nullopt};
    }
    char32_t codePoint = lead & (0x7F >> form.length);
    for (std::size_t k = 1; k < form.length; ++k) {
      codePoint = (codePoint << 6) | (at(i + k) & 0x3F);
    }
    if (codePoint < 0x10000) {
      sink.Put(static_cast<char16_t>(codePoint));
    } else {
      sink.Put(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
      sink.Put(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
    }
    i += form.length;
  }
  return {i, std::nullopt};
}

DecodeProgress DecodeCp932Some(std::string_view bytes, bool final, UnitSink& sink) {
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    i += CopyAscii(bytes, i, sink);
    if (i == size) {
      break;
    }
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const char16_t single = cp932Table::kSingleByte[byte];
    if (single != cp932Table::kNoCharacter) {
      sink.Put(single);
      ++i;
      continue;
    }
    const int row = LeadRow(byte);
    if (row < 0) {
      return {i, i};
    }
    if (i + 1 == size) {
      return final ? DecodeProgress{i, i} : DecodeProgress{i, std::nullopt};
    }
    const unsigned trail = static_cast<unsigned char>(bytes[i + 1]) - cp932Table::kFirstTrail;
    if (trail >= cp932Table::kTrailCount) {
      return {i, i};
    }
    const char16_t character =
        cp932Table::kDoubleByte[static_cast<std::size_t>(row) * cp932Table::kTrailCount + trail];
    if (character == 0) {
      return {i, i};
    }
    sink.Put(character);
    i += 2;
  }
  return {i, std::nullopt};
}

DecodeProgress DecodeUtf16Some(std::string_view bytes, bool bigEndian, bool final, UnitSink& sink) {
  const auto unitAt = [&](std::size_t i) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  };
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i + 1 < size) {
    const char16_t unit = unitAt(i);
    if (IsLowSurrogate(unit)) {
      return {i, i};
    }
    if (!IsHighSurrogate(unit)) {
      sink.Put(unit);
      i += 2;
      continue;
    }
    if (i + 3 >= size) {
      return final ? DecodeProgress{i, i} : DecodeProgress{i, std::nullopt};
    }
    const char16_t low = unitAt(i + 2);
    if (!IsLowSurrogate(low)) {
      return {i, i};
    }
    sink.Put(unit);
    sink.Put(low);
    i += 4;
  }
  if (i < size && final) {
    return {i, i};
  }
  return {i, std::nullopt};
}

Decoded DecodeWhole(Encoding encoding, std::string_view bytes) {
  Decoded decoded;
  const DecodeProgress progress = DecodeSome(encoding, bytes, true, decoded.text);
  if (progress.invalidAt) {
    return {std::u16string(), InvalidBytes{*progress.invalidAt}};
  }
  return decoded;
}

}  // namespace

bool IsCrOfCrLf(std::u16string_view text, std::size_t i) {
  return text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
}

std::size_t CopyToLineBreak(std::u16string_view text, std::size_t from, char16_t* out) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi16(u'\r');
  const __m128i lf = _mm_set1_epi16(u'\n');
  for (; i + 8 <= text.size(); i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - from)), block);
    const int mask =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(block, cr), _mm_cmpeq_epi16(block, lf)));
    if (mask != 0) {
      return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
  }
#endif
  for (; i < text.size() && text[i] != u'\r' && text[i] != u'\n'; ++i) {
    out[i - from] = text[i];
  }
  return i;
}

namespace {

char32_t CodePointAt(std::u16string_view text, std::size_t index) {
  return StartsSurrogatePair(text, index) ? CombineSurrogates(text[index], text[index + 1])
                                          : text[index];
}

// Moves `where`, the place of the unit at `from`, on to the place of the unit
// at `to`.
void MoveOn(std::u16string_view text, std::size_t from, std::size_t to, Unencodable& where) {
  for (std::size_t i = from; i < to; ++i) {
    const char16_t unit = text[i];
    if (unit == u'\r' || unit == u'\n') {
      if (unit == u'\r' && i + 1 < to && text[i + 1] == u'\n') {
        ++i;
      }
      ++where.line;
      where.column = 1;
      continue;
    }
    if (StartsSurrogatePair(text, i)) {
      ++i;
    }
    ++where.column;
  }
}

}  // namespace

Unencodable Locate(std::u16string_view text, std::size_t index) {
  Unencodable where{CodePointAt(text, index), 1, 1};
  MoveOn(text, 0, index, where);
  return where;
}

UnencodableCharacters FindEveryUnencodable(Encoding encoding, std::u16string_view text,
                                           std::size_t mostListed) {
  UnencodableCharacters found;
  Unencodable place{0, 1, 1};
  std::size_t placeIndex = 0;  // the unit that `place` is the place of
  for (std::size_t from = 0; from < text.size();) {
    const std::optional<std::size_t> at = FindUnencodable(encoding, text.substr(from));
    if (!at) {
      break;
    }
    const std::size_t index = from + *at;
    const std::size_t units = StartsSurrogatePair(text, index) ? 2 : 1;
    ++found.count;
    if (found.first.size() < mostListed) {
      MoveOn(text, placeIndex, index, place);
      place.codePoint = CodePointAt(text, index);
      found.first.push_back(place);
      ++place.column;
      placeIndex = index + units;
    }
    from = index + units;
  }
  return found;
}

DecodeProgress DecodeInto(Encoding encoding, std::string_view bytes, bool final, char16_t* out,
                          std::size_t& written) {
  UnitSink sink(out);
  DecodeProgress progress{0, 0};
  switch (encoding) {
    case Encoding::Utf8:
      progress = DecodeUtf8Some(bytes, final, sink);
      break;
    case Encoding::Cp932:
      progress = DecodeCp932Some(bytes, final, sink);
      break;
    case Encoding::Utf16Le:
      progress = DecodeUtf16Some(bytes, false, final, sink);
      break;
    case Encoding::Utf16Be:
      progress = DecodeUtf16Some(bytes, true, final, sink);
      break;
  }
  written = sink.Written();
  return progress;
}

DecodeProgress DecodeSome(Encoding encoding, std::string_view bytes, bool final,
                          std::u16string& out) {
  const std::size_t start = out.size();
  out.resize(start + bytes.size());
  std::size_t written = 0;
  const DecodeProgress progress = DecodeInto(encoding, bytes, final, out.data() + start, written);
  out.resize(start + written);
  return progress;
}

Decoded DecodeCp932(std::string_view bytes) {
  return DecodeWhole(Encoding::Cp932, bytes);
}

Decoded DecodeUtf8(std::string_view bytes) {
  return DecodeWhole(Encoding::Utf8, bytes);
}

Encoded EncodeCp932(std::u16string_view text) {
  return Encode(text, Cp932Room(text), WriteCp932);
}

Encoded EncodeUtf8(std::u16string_view text) {
  return Encode(text, Utf8Length(text), WriteUtf8);
}

std::optional<std::size_t> FindUnencodable(Encoding encoding, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (encoding == Encoding::Cp932) {
      if (Cp932CodeOf(unit) == kNoCode) {
        return i;
      }
    } else if (StartsSurrogatePair(text, i)) {
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      return i;
    }
  }
  return std::nullopt;
}

std::optional<Unencodable> FindUnencodableCp932(std::u16string_view text) {
  if (const auto at = FindUnencodable(Encoding::Cp932, text)) {
    return Locate(text, *at);
  }
  return std::nullopt;
}

void AppendCp932(std::u16string_view text, std::string& out) {
  AppendOrThrow(text, out, Cp932Room(text), WriteCp932, "code page 932");
}

void AppendUtf8(std::u16string_view text, std::string& out) {
  AppendOrThrow(text, out, Utf8Length(text), WriteUtf8, "UTF-8");
}

std::size_t MostBytes(Encoding encoding, std::size_t units) {
  return encoding == Encoding::Utf8 ? 3 * units : 2 * units;
}

EncodeProgress EncodeInto(Encoding encoding, std::u16string_view text, char* out,
                          LineBreakBytes breaks) {
  Progress progress;
  switch (encoding) {
    case Encoding::Utf8:
      progress = WriteUtf8(text, out, breaks);
      break;
    case Encoding::Cp932:
      progress = WriteCp932(text, out, breaks);
      break;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
      progress = WriteUtf16(text, encoding == Encoding::Utf16Be, out, breaks);
      break;
  }
  return {progress.bytesWritten, progress.unencodableAt};
}

std::optional<std::size_t> TryAppend(Encoding encoding, std::u16string_view text,
                                     std::string& out) {
  if (encoding == Encoding::Cp932) {
    return AppendEncoded(text, out, Cp932Room(text), WriteCp932);
  }
  if (encoding == Encoding::Utf8) {
    return AppendEncoded(text, out, Utf8Length(text), WriteUtf8);
  }
  throw std::invalid_argument("text is never written in UTF-16");
}

}  // namespace textCodec
