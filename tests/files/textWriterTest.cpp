// The writer on real files: what it must never do to a file, whatever the
// target is and however the program ends.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <variant>

#include "fileTestSupport.h"
#include "textReader.h"
#include "textWriter.h"

namespace {

namespace fs = std::filesystem;
using fileTestSupport::ReadBytes;
using fileTestSupport::RunInChild;
using fileTestSupport::WriteBytes;
using Writer = fileTestSupport::TemporaryFolder;

void Replace(const std::string& target, std::string_view bytes) {
  textFiles::FileWriter file(target, {});
  file.Write(bytes);
  file.Commit();
}

TEST(EncodeText, WritesLineBreaksAsTheFormatSays) {
  struct Case {
    textFiles::WriteFormat format;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {{textCodec::Encoding::Utf8, false}, u"a\r\nb\nc\r", "a\nb\nc\r"},
      {{textCodec::Encoding::Utf8, true}, u"a\r\nb\nc", "a\r\nb\nc"},
      {{textCodec::Encoding::Cp932, true}, u"あ\r\n～", "\x82\xA0\r\n\x81\x60"},
      {{textCodec::Encoding::Cp932, false}, u"あ\r\n", "\x82\xA0\n"},
  };
  for (const Case& c : cases) {
    std::string out = "kept";
    EXPECT_EQ(textFiles::EncodeText(c.text, c.format, out), std::nullopt);
    EXPECT_EQ(out, "kept" + c.bytes);
  }
  std::string out = "kept";
  EXPECT_EQ(textFiles::EncodeText(u"a\r\n☃", {textCodec::Encoding::Cp932, false}, out), 3u);
  EXPECT_EQ(out, "kept");
}

// A name that stands for an open descriptor is written through it, so that a
// file opened for appending keeps what it had.
TEST_F(Writer, WritesThroughADescriptorsName) {
  WriteBytes(Path("log.txt"), "LOG1\n");
  const int log = open(Path("log.txt").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(log, 0);
  const std::string fd = std::to_string(log);
  fs::create_symlink("/dev/fd/./" + fd, Path("link"));
  // Each is read as the kernel reads it, up to the descriptor's own link.
  const std::string names[] = {"/proc/self/fd/" + fd,
                               "/dev/fd/" + fd,
                               "/dev/fd//" + fd,
                               "/dev/fd/./" + fd,
                               "/proc/self/fd/../fd/" + fd,
                               "/proc/thread-self/fd/" + fd,
                               Path("link")};
  std::string expected = "LOG1\n";
  for (const std::string& name : names) {
    Replace(name, "x\n");
    expected += "x\n";
    EXPECT_EQ(ReadBytes(Path("log.txt")), expected) << name;
  }
  close(log);
  EXPECT_THROW(textFiles::FileWriter("/dev/stdout", {true}), textFiles::FileError);
}

// A name that ends in a slash names a folder: nothing is made for it.
TEST_F(Writer, ANameEndingInASlashIsAFolder) {
  WriteBytes(Path("file.txt"), "old");
  fs::create_directory(Path("folder"));
  const std::pair<std::string, int> cases[] = {
      {"new.txt/", ENOTDIR}, {"file.txt/", ENOTDIR}, {"folder/", EISDIR}, {"none/new/", ENOENT}};
  for (const auto& [name, errnum] : cases) {
    try {
      Replace(Path(name), "new");
      ADD_FAILURE() << name;
    } catch (const textFiles::FileError& error) {
      const auto* failure = std::get_if<textFiles::SystemFailure>(&error.What());
      ASSERT_NE(failure, nullptr) << name;
      EXPECT_EQ(failure->errnum, errnum) << name;
    }
  }
  EXPECT_EQ(Entries(), (std::set<std::string>{"file.txt", "folder"}));
  EXPECT_EQ(ReadBytes(Path("file.txt")), "old");
}

TEST_F(Writer, KeepsTheModeAndTheGroupOfAnotherUsersFile) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to make a file of another user";
  }
  constexpr gid_t kSharedGroup = 4242;
  constexpr uid_t kOwner = 4243;
  constexpr uid_t kMember = 4244;
  chmod(dir_.c_str(), 0777);
  WriteBytes(Path("shared.txt"), "old");
  ASSERT_EQ(chown(Path("shared.txt").c_str(), kOwner, kSharedGroup), 0);
  ASSERT_EQ(chmod(Path("shared.txt").c_str(), 0664), 0);
  // A member of the group, not the owner, replaces it.
  EXPECT_EQ(RunInChild([&] {
              const gid_t groups[] = {kSharedGroup};
              if (setgroups(1, groups) != 0 || setgid(kMember) != 0 || setuid(kMember) != 0) {
                return 2;
              }
              Replace(Path("shared.txt"), "new");
              return 0;
            }),
            0);
  struct stat info {};
  ASSERT_EQ(stat(Path("shared.txt").c_str(), &info), 0);
  EXPECT_EQ(ReadBytes(Path("shared.txt")), "new");
  EXPECT_EQ(info.st_gid, kSharedGroup);
  EXPECT_EQ(info.st_mode & 07777, 0664u);
}

TEST_F(Writer, ALinkStaysALinkAndItsMissingTargetIsMade) {
  fs::create_directory(Path("real"));
  fs::create_symlink("real/made.txt", Path("dangling.txt"));
  fs::create_symlink("dangling.txt", Path("second.txt"));
  Replace(Path("second.txt"), "new");
  EXPECT_TRUE(fs::is_symlink(Path("dangling.txt")));
  EXPECT_TRUE(fs::is_symlink(Path("second.txt")));
  EXPECT_EQ(ReadBytes(Path("real/made.txt")), "new");
  EXPECT_EQ(Entries(Path("real")), std::set<std::string>{"made.txt"});
}

// However the program ends while writing, no temporary file is left and the
// target is as it was.
TEST_F(Writer, NoTemporaryFileOutlivesTheProgram) {
  WriteBytes(Path("target.txt"), "old");
  for (const int signalNumber : {SIGKILL, SIGQUIT, SIGUSR1, SIGXFSZ, SIGTERM}) {
    RunInChild([&] {
      signal(signalNumber, SIG_DFL);
      textFiles::FileWriter file(Path("target.txt"), {});
      file.Write(std::string(1 << 20, 'x'));
      raise(signalNumber);
      return 0;
    });
    EXPECT_EQ(Entries(), std::set<std::string>{"target.txt"}) << signalNumber;
    EXPECT_EQ(ReadBytes(Path("target.txt")), "old");
  }
}

// An existing file is replaced through a passing name. Whatever signal ends
// the program, at whatever moment of replacing, no name is left behind: the
// program is ended over and over while it replaces a file in a loop (on
// tmpfs, where that is fastest, when root may mount one).
TEST_F(Writer, NoPassingNameOutlivesAnInterruptedReplacement) {
  const std::string folder = MountSmallTmpfs(Path("tmpfs"), "size=1m") ? Path("tmpfs") : dir_;
  const std::string target = folder + "/target.txt";
  WriteBytes(target, "old");
  // The child that names a file outlives a killed program: it is waited for here.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  std::mt19937 random(42);
  for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGKILL}) {
    for (int run = 0; run < 20; ++run) {
      const pid_t child = fork();
      if (child == 0) {
        textFiles::RemoveTemporaryFilesOnSignals();
        for (;;) {
          Replace(target, "new");
        }
      }
      usleep(std::uniform_int_distribution<useconds_t>(500, 3000)(random));
      kill(child, signalNumber);
      while (waitpid(-1, nullptr, __WALL) > 0) {
      }
      EXPECT_EQ(Entries(folder), std::set<std::string>{"target.txt"}) << strsignal(signalNumber);
    }
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// A path longer than PATH_MAX is reached a folder at a time, for writing,
// replacing and reading.
TEST_F(Writer, PathsLongerThanPathMax) {
  const std::string component(200, 'd');
  std::string path = dir_;
  int folder = open(dir_.c_str(), O_PATH | O_DIRECTORY);
  while (path.size() <= PATH_MAX) {
    ASSERT_EQ(mkdirat(folder, component.c_str(), 0755), 0);
    const int next = openat(folder, component.c_str(), O_PATH | O_DIRECTORY);
    close(folder);
    folder = next;
    path += "/" + component;
  }
  close(folder);
  const std::string target = path + "/long.txt";
  Replace(target, "first\n");
  Replace(target, "second\n");
  EXPECT_EQ(textFiles::ReadTextFile(target, {}), u"second\r\n");
}

}  // namespace
