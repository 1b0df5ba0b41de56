#include "outputBudget.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>

namespace streamConversion::detail {

namespace {

constexpr std::size_t kDescriptorsPerOutput = 2;
constexpr std::size_t kKeptFree = 6;
// More files at once gain nothing: pieces are written in order.
constexpr std::size_t kMostOutputs = 32;

// The descriptors open now; assumed to be the three standard ones where
// /proc cannot tell.
std::size_t OpenDescriptors() {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) {
    return 3;
  }
  std::size_t count = 0;
  while (const dirent* entry = readdir(folder)) {
    count += entry->d_name[0] != '.' ? 1 : 0;
  }
  closedir(folder);
  return count > 0 ? count - 1 : 0;  // not the one reading the folder
}

}  // namespace

std::size_t OutputsThatFit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return kMostOutputs;
  }
  const std::size_t open = OpenDescriptors();
  const auto most = static_cast<std::size_t>(limit.rlim_cur);
  const std::size_t free = most > open + kKeptFree ? most - open - kKeptFree : 0;
  return std::clamp<std::size_t>(free / kDescriptorsPerOutput, 1, kMostOutputs);
}

}  // namespace streamConversion::detail
