// Time per code unit of the streaming conversion at two text sizes, for prose
// and for adversarial texts; at the end, the ratio of the larger size's time
// per unit to the smaller's, which stays near 1 for a linear conversion. Also
// the time to make a converter and run it on one sentence.
// pokopen_bench_engine_without_avx2, the same benchmark linked on the plain
// search, measures the search that processors without AVX2 run.
//
//   pokopen_bench_engine [--sizes=1M,64M] [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "benchTexts.h"
#include "mdlFlexConv.h"

namespace {

constexpr std::size_t kPieceUnits = std::size_t{1} << 16;
constexpr double kLinearityLimit = 1.5;

struct Setting {
  std::string_view name;
  int style, pokoru, first, second, force;
};

constexpr Setting kSettings[] = {
    {"style1-all-flags", 1, 1, 1, 1, 1},
    {"style0-default", 0, 0, 1, 1, 0},
    {"style4-force", 4, 0, 0, 0, 1},
};

struct Size {
  std::string name;
  std::size_t bytes;
};

// Texts are made once, when a benchmark first needs them, and kept for the
// other settings of the same kind and size.
class TextCache {
 public:
  const std::u16string& Get(benchTexts::Kind kind, std::size_t bytes) {
    auto& slot = texts_[{kind, bytes}];
    if (!slot) {
      slot = std::make_unique<std::u16string>(benchTexts::Generate(kind, bytes));
    }
    return *slot;
  }

 private:
  std::map<std::pair<benchTexts::Kind, std::size_t>, std::unique_ptr<std::u16string>> texts_;
};

void Convert(benchmark::State& state, TextCache& cache, benchTexts::Kind kind, Setting setting,
             std::size_t bytes) {
  const std::u16string& text = cache.Get(kind, bytes);
  std::u16string out;
  out.reserve(kPieceUnits * 8);
  std::size_t produced = 0;
  for (auto _ : state) {
    mdlFlexConv::Converter converter(
        mdlFlexConv::StyleAt(setting.style),
        {setting.pokoru == 1, setting.first == 1, setting.second == 1, setting.force == 1});
    for (std::size_t at = 0; at < text.size(); at += kPieceUnits) {
      out.clear();
      converter.Push(std::u16string_view(text).substr(at, kPieceUnits), out);
      produced += out.size();
    }
    out.clear();
    converter.Finish(out);
    produced += out.size();
    benchmark::DoNotOptimize(produced);
  }
  const auto units = static_cast<double>(text.size());
  state.counters["units"] = units;
  state.counters["per_unit"] = benchmark::Counter(
      units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The guarded ending alone, on the path the converters take (a replacement
// that cannot begin a new match) and on the watched path that any other
// replacement takes: "だりゅんで" may begin "です", so each step is watched.
void Guard(benchmark::State& state, TextCache& cache, std::u16string_view replacement,
           std::size_t bytes) {
  const std::u16string& text = cache.Get(benchTexts::Kind::Prose, bytes);
  std::size_t produced = 0;
  for (auto _ : state) {
    produced += mdlFlexConv::ReplaceBeforePunctuation(text, u"です", replacement,
                                                      mdlFlexConv::PUNCTUATION_SET)
                    .size();
    benchmark::DoNotOptimize(produced);
  }
  state.counters["per_unit"] = benchmark::Counter(
      static_cast<double>(text.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Making a converter and running it on one short sentence, as a caller of the
// library that converts sentence by sentence does.
void MakeAndRun(benchmark::State& state, Setting setting) {
  const std::u16string_view sentence = u"わたしは学生です。あなたはだれですか。";
  std::size_t produced = 0;
  for (auto _ : state) {
    mdlFlexConv::Converter converter(
        mdlFlexConv::StyleAt(setting.style),
        {setting.pokoru == 1, setting.first == 1, setting.second == 1, setting.force == 1});
    produced += converter.Run(sentence).size();
    benchmark::DoNotOptimize(produced);
  }
}

std::string WithoutLastPart(const std::string& name) {
  return name.substr(0, name.rfind('/'));
}

// The console report, followed by the ratios of time per unit.
class LinearityReporter : public benchmark::ConsoleReporter {
 public:
  explicit LinearityReporter(std::vector<Size> sizes) : sizes_(std::move(sizes)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const auto perUnit = run.counters.find("per_unit");
      if ((single || median) && !run.error_occurred && perUnit != run.counters.end()) {
        const std::string& name = run.run_name.function_name;
        perUnitNs_[WithoutLastPart(name)][name.substr(name.rfind('/') + 1)] =
            perUnit->second.value * 1e9;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (sizes_.size() < 2) {
      return;
    }
    const Size& small = sizes_.front();
    const Size& large = sizes_.back();
    auto& out = GetOutputStream();
    out << "\nTime per code unit, " << large.name << " against " << small.name << ":\n";
    for (const auto& [name, bySize] : perUnitNs_) {
      const auto a = bySize.find(small.name);
      const auto b = bySize.find(large.name);
      if (a == bySize.end() || b == bySize.end()) {
        continue;
      }
      const double ratio = b->second / a->second;
      char line[256];
      std::snprintf(line, sizeof line, "  %-36s %8.2f ns %8.2f ns  ratio %.2f  %s\n", name.c_str(),
                    a->second, b->second, ratio,
                    ratio <= kLinearityLimit ? "linear" : "NOT LINEAR");
      out << line;
    }
  }

 private:
  std::vector<Size> sizes_;
  std::map<std::string, std::map<std::string, double>> perUnitNs_;
};

std::vector<Size> SizesNamed(std::string_view list) {
  std::vector<Size> sizes;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string item(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    std::size_t scale = 1;
    if (item.ends_with('K')) {
      scale = std::size_t{1} << 10;
    } else if (item.ends_with('M')) {
      scale = std::size_t{1} << 20;
    }
    sizes.push_back({item + (scale == 1 ? "B" : "iB"), std::stoull(item) * scale});
  }
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  std::string_view sizeList = "1M,64M";
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--sizes=")) {
      sizeList = arg.substr(8);
    } else {
      args.push_back(argv[i]);
    }
  }
  const std::vector<Size> sizes = SizesNamed(sizeList);
  TextCache cache;
  for (const benchTexts::Kind kind : benchTexts::kAllKinds) {
    for (const Setting& setting : kSettings) {
      for (const Size& size : sizes) {
        const std::string name = "Convert/" + std::string(benchTexts::KindName(kind)) + "/" +
                                 std::string(setting.name) + "/" + size.name;
        benchmark::RegisterBenchmark(name.c_str(), Convert, std::ref(cache), kind, setting,
                                     size.bytes)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
  for (const Size& size : sizes) {
    for (const auto& [path, replacement] :
         {std::pair<std::string, std::u16string_view>{"fast", u"だりゅん"},
          std::pair<std::string, std::u16string_view>{"watched", u"だりゅんで"}}) {
      const std::string name = "Guard/prose/" + path + "/" + size.name;
      benchmark::RegisterBenchmark(name.c_str(), Guard, std::ref(cache), replacement, size.bytes)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  for (const Setting& setting : kSettings) {
    benchmark::RegisterBenchmark(("MakeAndRun/sentence/" + std::string(setting.name)).c_str(),
                                 MakeAndRun, setting)
        ->Unit(benchmark::kMicrosecond);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 2;
  }
  LinearityReporter reporter(sizes);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
