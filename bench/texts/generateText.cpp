// pokopen-bench-text KIND SIZE: writes a benchmark text of at most SIZE bytes
// of UTF-8 to standard output. SIZE may end in K or M (KiB, MiB).
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "benchTexts.h"
#include "textCodec.h"

namespace {

std::optional<std::size_t> SizeNamed(std::string_view text) {
  std::size_t scale = 1;
  if (text.ends_with('K')) {
    scale = std::size_t{1} << 10;
  } else if (text.ends_with('M')) {
    scale = std::size_t{1} << 20;
  }
  if (scale != 1) {
    text.remove_suffix(1);
  }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoull(std::string(text)) * scale;
}

int Usage() {
  std::fputs("Usage: pokopen-bench-text KIND SIZE\nKIND:", stderr);
  for (const benchTexts::Kind kind : benchTexts::kAllKinds) {
    std::fprintf(stderr, " %s", std::string(benchTexts::KindName(kind)).c_str());
  }
  std::fputs("\nSIZE: bytes of UTF-8, with an optional K or M\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    return Usage();
  }
  const std::optional<benchTexts::Kind> kind = benchTexts::KindNamed(argv[1]);
  const std::optional<std::size_t> size = SizeNamed(argv[2]);
  if (!kind || !size) {
    return Usage();
  }
  std::string bytes;
  textCodec::AppendUtf8(benchTexts::Generate(*kind, *size), bytes);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
      std::fflush(stdout) != 0) {
    std::perror("pokopen-bench-text");
    return 1;
  }
  return 0;
}
