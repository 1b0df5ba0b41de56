// Time per byte of decoding UTF-8 into UTF-16 and encoding it back, for the
// benchmark texts: prose is nearly all three-byte characters, the technical
// manual a mix of ASCII and Japanese. The EncodeLf rows encode the text with
// its line breaks as CR LF, as conversion gives it, back with LF, as the
// converter writes it. pokopen_bench_codec_without_avx2 and
// pokopen_bench_codec_without_ssse3, the same benchmark linked on the SSSE3
// and on the plain paths, measure what the runs cost on processors without
// them. Each --file adds the rows of a real document (UTF-8), such as those
// bench/texts/real-documents.sh makes.
//
//   pokopen_bench_codec [--size=8M] [--file=PATH]... [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "benchTexts.h"
#include "textCodec.h"
#include "textEncoding.h"

namespace {

std::size_t TextBytes(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--size=", 7) == 0) {
      const std::string size = argv[i] + 7;
      return std::stoull(size) << (size.ends_with('K') ? 10 : size.ends_with('M') ? 20 : 0);
    }
  }
  return std::size_t{8} << 20;
}

std::vector<std::string> Files(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--file=", 7) == 0) {
      files.emplace_back(argv[i] + 7);
    }
  }
  return files;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Decode(benchmark::State& state, const std::string& bytes) {
  auto room = std::make_unique_for_overwrite<char16_t[]>(bytes.size());
  for (auto _ : state) {
    std::size_t written = 0;
    textCodec::DecodeInto(textCodec::Encoding::Utf8, bytes, true, room.get(), written);
    benchmark::DoNotOptimize(written);
  }
  state.counters["per_byte"] = benchmark::Counter(
      static_cast<double>(bytes.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Encode(benchmark::State& state, const std::u16string& text, std::size_t bytes,
            const textFiles::WriteFormat& format) {
  auto room = std::make_unique_for_overwrite<char[]>(
      textCodec::MostBytes(textCodec::Encoding::Utf8, text.size()));
  for (auto _ : state) {
    const auto progress = textFiles::EncodeTextInto(text, format, room.get());
    benchmark::DoNotOptimize(progress.written);
  }
  state.counters["per_byte"] =
      benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

std::u16string WithCrLf(std::u16string_view text) {
  std::u16string crlf;
  for (const char16_t unit : text) {
    crlf += unit == u'\n' ? std::u16string_view(u"\r\n") : std::u16string_view(&unit, 1);
  }
  return crlf;
}

void Register(const std::string& name, const std::u16string& decoded, const std::string& utf8) {
  auto text = std::make_shared<std::u16string>(decoded);
  auto crlf = std::make_shared<std::u16string>(WithCrLf(decoded));
  auto bytes = std::make_shared<std::string>(utf8);
  benchmark::RegisterBenchmark(("Decode/" + name).c_str(),
                               [bytes](benchmark::State& state) { Decode(state, *bytes); });
  benchmark::RegisterBenchmark(("Encode/" + name).c_str(), [text, bytes](benchmark::State& state) {
    Encode(state, *text, bytes->size(), {.crlf = true});
  });
  benchmark::RegisterBenchmark(("EncodeLf/" + name).c_str(),
                               [crlf, bytes](benchmark::State& state) {
                                 Encode(state, *crlf, bytes->size(), {.crlf = false});
                               });
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t size = TextBytes(argc, argv);
  for (const benchTexts::Kind kind : {benchTexts::Kind::Prose, benchTexts::Kind::Technical}) {
    const std::u16string text = benchTexts::Generate(kind, size);
    Register(std::string(benchTexts::KindName(kind)), text, textCodec::EncodeUtf8(text).bytes);
  }
  for (const std::string& path : Files(argc, argv)) {
    const std::string bytes = ReadWhole(path);
    const textCodec::Decoded text = textCodec::DecodeUtf8(bytes);
    if (text.error) {
      std::fprintf(stderr, "%s: not UTF-8\n", path.c_str());
      return 1;
    }
    Register(std::filesystem::path(path).stem().string(), text.text, bytes);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
