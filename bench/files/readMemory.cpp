// pokopen-bench-read FILE: reads FILE as the window's Load does and prints the
// units read and the peak resident memory of the process, in kilobytes.
#include <cstdio>
#include <fstream>
#include <string>

#include "textCodec.h"
#include "windowTextFiles.h"

namespace {

long PeakResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: pokopen-bench-read FILE\n", stderr);
    return 2;
  }
  try {
    const std::u16string text = mdlPokoConv::LoadTextFile(textCodec::DecodeUtf8(argv[1]).text);
    std::printf("%zu units, peak %ld kB\n", text.size(), PeakResidentKilobytes());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pokopen-bench-read: %s\n", error.what());
    return 1;
  }
  return 0;
}
