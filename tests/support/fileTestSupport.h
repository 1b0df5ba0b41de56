// Helpers for tests on real files: a temporary folder per test, reading and
// writing bytes, and child processes for limits and lost privileges.
#pragma once

#include <grp.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace fileTestSupport {

inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs work in a child process, its exit status being work's result, so that
// limits and lost privileges stay in the child; -1 when it did not exit.
inline int RunInChild(const std::function<int()>& work) {
  const pid_t child = fork();
  if (child == 0) {
    _exit(work());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Root ignores permission bits, so root runs work as nobody.
inline int RunUnprivileged(const std::function<int()>& work) {
  return RunInChild([&] {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      return 255;
    }
    return work();
  });
}

class TemporaryFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::filesystem::temp_directory_path() / "pokopen-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    chmod(dir_.c_str(), 0755);
  }
  void TearDown() override {
    if (mounted_) {
      umount(mounted_->c_str());
    }
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::set<std::string> Entries(const std::string& folder = {}) const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? dir_ : folder)) {
      names.insert(entry.path().filename());
    }
    return names;
  }
  bool MountSmallTmpfs(const std::string& folder, const char* options) {
    std::filesystem::create_directory(folder);
    if (geteuid() != 0 || mount("tmpfs", folder.c_str(), "tmpfs", 0, options) != 0) {
      return false;
    }
    mounted_ = folder;
    return true;
  }

  std::string dir_;
  std::optional<std::string> mounted_;
};

}  // namespace fileTestSupport
