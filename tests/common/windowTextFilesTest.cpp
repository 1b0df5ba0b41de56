#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "fakeServices.h"
#include "fileTestSupport.h"
#include "mdlPokoConv.h"
#include "textCodec.h"

namespace mdlPokoConv {
namespace {

namespace fs = std::filesystem;
using fileTestSupport::ReadBytes;
using fileTestSupport::RunInChild;
using fileTestSupport::RunUnprivileged;
using fileTestSupport::WriteBytes;

std::u16string U16(const std::string& utf8) {
  return textCodec::DecodeUtf8(utf8).text;
}

std::optional<RuntimeError> Failure(const std::function<void()>& work) {
  try {
    work();
  } catch (const RuntimeErrorException& e) {
    return e.Error();
  }
  return std::nullopt;
}

void Save(const std::string& path, std::u16string_view text) {
  TextFileWriter file;
  file.Create(U16(path));
  file.WriteText(text);
  file.Close();
}

// The save command's steps, each one trapped.
void TrappedSave(FakeServices& services, const std::string& path, std::u16string_view text) {
  ErrorTrap trap(services, u"frmMain!mnuFileSave.Click");
  TextFileWriter file;
  trap.Step([&] { file.Create(U16(path)); });
  trap.Step([&] { file.WriteText(text); });
  trap.Step([&] { file.Close(); });
}

int ErrorNumberOf(const std::function<void()>& work) {
  const std::optional<RuntimeError> error = Failure(work);
  return error ? error->Number : 0;
}

using TextFile = fileTestSupport::TemporaryFolder;

TEST_F(TextFile, LoadEndsEveryLineWithCrLf) {
  // In UTF-8 (ASCII here) every break ends a line; in code page 932 a lone LF
  // stays inside its line.
  const std::pair<std::string, std::u16string> cases[] = {
      {"", u""},
      {"a\r\nb", u"a\r\nb\r\n"},
      {"a\r\nb\r\n", u"a\r\nb\r\n"},
      {"a\rb\r", u"a\r\nb\r\n"},
      {"a\nb", u"a\r\nb\r\n"},
      {"\r\r\n\n", u"\r\n\r\n\r\n"},
      {"\xE3\x81\x82\nb\n", u"あ\r\nb\r\n"},
      {"\x82\xA0\nb", u"あ\nb\r\n"},
      {"\x82\xA0\r\r\n\n", u"あ\r\n\r\n\n\r\n"},
  };
  for (const auto& [bytes, text] : cases) {
    WriteBytes(Path("lines.txt"), bytes);
    EXPECT_EQ(LoadTextFile(U16(Path("lines.txt"))), text);
  }
}

TEST_F(TextFile, LoadDetectsTheEncodingAndDropsTheMark) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xEF\xBB\xBF\xE3\x81\xBD\xE3\x81\x93\n", u"ぽこ\r\n"},
      {std::string("\xFF\xFE\x7D\x30\x53\x30\x0A\x00", 8), u"ぽこ\r\n"},
      {"\xFE\xFF\x30\x7D\x30\x53", u"ぽこ\r\n"},
      {"\xE3\x81\xBD\xE3\x81\x93\r\n", u"ぽこ\r\n"},
      {"\x82\xDB\x82\xB1\x81\x60", u"ぽこ～\r\n"},
      {"\xC4\xB0\xD9\xB0", u"ﾄｰﾙｰ\r\n"},
      {"plain", u"plain\r\n"},
  };
  for (const auto& [bytes, text] : cases) {
    WriteBytes(Path("coded.txt"), bytes);
    EXPECT_EQ(LoadTextFile(U16(Path("coded.txt"))), text);
  }
}

TEST_F(TextFile, LoadRefusesInvalidBytesNamingTheirOffset) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"abc\x82", u"コードページ 932 として読めないバイトがあります (オフセット 3)"},
      {"\x82\xA0\x82\xA0\x81\x20xy",
       u"コードページ 932 として読めないバイトがあります (オフセット 4)"},
      {"\xE3\x82\x8F\xE3\x81\x9F\xE3\x81\x97\xE3\x81",
       u"UTF-8 として読めないバイトがあります (オフセット 9)"},
      {"\xEF\xBB\xBF"
       "a\xFF",
       u"UTF-8 として読めないバイトがあります (オフセット 4)"},
      {std::string("a\0b", 3),
       u"NUL バイトがあります (オフセット 1)。テキストファイルではないか、バイト順マークのない "
       u"UTF-16 です"},
      {std::string("a\nb\0", 4),
       u"NUL バイトがあります (オフセット 3)。テキストファイルではないか、壊れています"},
      {"\x82\xED\x82\xBD\x82\xB5\x82\xCD\xE3\x81\xA7\xE3\x81\x99\x82\xC5\x82\xB7",
       u"UTF-8 とコードページ 932 が混ざっています (オフセット 8 から UTF-8)"},
      {"\x1B$B$o$?$7\x1B(B",
       u"ISO-2022-JP (JIS) のファイルは読めません (オフセット 0 にエスケープシーケンス。iconv -f "
       u"ISO-2022-JP -t UTF-8 で変換できます)"},
  };
  for (const auto& [bytes, detail] : cases) {
    WriteBytes(Path("bad.txt"), std::string_view(bytes.data(), bytes.size()));
    const auto error = Failure([&] { LoadTextFile(U16(Path("bad.txt"))); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number, 5);
    EXPECT_EQ(error->Description, U16(Path("bad.txt")) + u": " + detail);
  }
}

TEST_F(TextFile, LoadReportsFilesThatCannotBeRead) {
  fs::create_directory(Path("folder.txt"));
  WriteBytes(Path("file.txt"), "x");
  ASSERT_EQ(mkfifo(Path("pipe.txt").c_str(), 0600), 0);
  const std::pair<std::u16string, std::int32_t> cases[] = {
      {U16(Path("missing.txt")), 53}, {U16(Path("no folder/a.txt")), 53},
      {U16(Path("folder.txt")), 75},  {U16(Path("file.txt/a.txt")), 75},
      {U16(Path("pipe.txt")), 75},    {U16(Path("")) + u'\xD800', 75},
  };
  for (const auto& [path, number] : cases) {
    const auto error = Failure([&] { LoadTextFile(path); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number, number);
    EXPECT_TRUE(error->Description.starts_with(path + u": "));
  }
}

TEST_F(TextFile, SaveWritesTheTextAndOneLineBreakInEitherFormat) {
  struct Case {
    SaveFormat format;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {SaveFormat::Cp932, u"", "\r\n"},
      {SaveFormat::Cp932, u"a\r\n", "a\r\n\r\n"},
      {SaveFormat::Cp932, u"ぽこりゅん～\u301C\n",
       "\x82\xDB\x82\xB1\x82\xE8\x82\xE3\x82\xF1\x81\x60\x81\x60\n\r\n"},
      {SaveFormat::Utf8, u"", "\n"},
      {SaveFormat::Utf8, u"a\r\n", "a\n\n"},
      {SaveFormat::Utf8, u"ぽ\r\nx\ny😀", "\xE3\x81\xBD\nx\ny\xF0\x9F\x98\x80\n"},
  };
  for (const Case& c : cases) {
    TextFileWriter file;
    file.Create(U16(Path("out.txt")), c.format);
    file.WriteText(c.text);
    file.Close();
    EXPECT_EQ(ReadBytes(Path("out.txt")), c.bytes);
  }
  EXPECT_EQ(Entries(), std::set<std::string>{"out.txt"});
}

TEST_F(TextFile, JapaneseTextSurvivesSaveAndLoadUnderAnyName) {
  const std::u16string text = u"一行目です。\r\n二行目、ぽこりゅんっ～";
  for (const std::string name : {"a.txt", "My Documents/a b.txt", "ぽこぺん 文書/ぽこ.txt"}) {
    fs::create_directories(fs::path(Path(name)).parent_path());
    Save(Path(name), text);
    EXPECT_EQ(LoadTextFile(U16(Path(name))), text + u"\r\n") << name;
  }
}

TEST_F(TextFile, SeveralMegabytesRoundTrip) {
  std::u16string text;
  for (int line = 0; line < 100000; ++line) {
    text += u"ぽこりゅんっはダ～リンっが大好きだりゅん。ＡＢＣ１２３ｱｲｳ\r\n";
  }
  const auto start = std::chrono::steady_clock::now();
  Save(Path("big.txt"), text);
  const std::u16string loaded = LoadTextFile(U16(Path("big.txt")));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GT(fs::file_size(Path("big.txt")), 5'000'000u);
  EXPECT_EQ(loaded, text + u"\r\n");
  RecordProperty(
      "saveAndLoadMilliseconds",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

TEST_F(TextFile, UnencodableCharacterFailsTheSaveAndKeepsTheOldFile) {
  WriteBytes(Path("old.txt"), "old");
  const auto error = Failure([&] { Save(Path("old.txt"), u"a\r\nbぽ😀"); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number, 5);
  EXPECT_EQ(error->Description,
            U16(Path("old.txt")) +
                u": 2 行目 3 文字目の U+1F600 はコードページ 932 で保存できない文字です");
  EXPECT_EQ(ReadBytes(Path("old.txt")), "old");
  EXPECT_EQ(Entries(), std::set<std::string>{"old.txt"});

  const auto lone = Failure([&] {
    TextFileWriter file;
    file.Create(U16(Path("old.txt")), SaveFormat::Utf8);
    file.WriteText(u"ab\xD800");
  });
  ASSERT_TRUE(lone);
  EXPECT_EQ(lone->Description,
            U16(Path("old.txt")) + u": 1 行目 3 文字目の U+D800 は UTF-8 で保存できない文字です");
  EXPECT_EQ(ReadBytes(Path("old.txt")), "old");
}

TEST_F(TextFile, AFailedCreateIsReportedTwiceAndNoMore) {
  FakeServices services;
  TrappedSave(services, Path("no folder/a.txt"), u"text");
  ASSERT_EQ(services.boxes.size(), 2u);
  EXPECT_EQ(services.boxes[0].prompt, services.boxes[1].prompt);
  EXPECT_TRUE(
      services.boxes[0].prompt.starts_with(u"エラー番号:53\r\n場所:frmMain!mnuFileSave.Click"));

  fs::create_directory(Path("folder.txt"));
  FakeServices onFolder;
  TrappedSave(onFolder, Path("folder.txt"), u"text");
  EXPECT_EQ(onFolder.boxes.size(), 2u);
  EXPECT_TRUE(onFolder.boxes[0].prompt.starts_with(u"エラー番号:75\r\n"));
  EXPECT_EQ(Entries(), std::set<std::string>{"folder.txt"});
}

TEST_F(TextFile, SaveKeepsPermissionsAndLinks) {
  WriteBytes(Path("old.txt"), "old");
  chmod(Path("old.txt").c_str(), 0640);
  fs::create_symlink("old.txt", Path("link.txt"));
  Save(Path("link.txt"), u"new");
  EXPECT_TRUE(fs::is_symlink(Path("link.txt")));
  EXPECT_EQ(ReadBytes(Path("old.txt")), "new\r\n");
  EXPECT_EQ(fs::status(Path("old.txt")).permissions(), fs::perms(0640));

  const mode_t previous = umask(027);
  Save(Path("new.txt"), u"new");
  umask(previous);
  EXPECT_EQ(fs::status(Path("new.txt")).permissions(), fs::perms(0640));
}

TEST_F(TextFile, AFailedRenameLeavesNoTemporaryFile) {
  TextFileWriter file;
  file.Create(U16(Path("a.txt")));
  file.WriteText(u"text");
  fs::create_directory(Path("a.txt"));
  const auto error = Failure([&] { file.Close(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number, 75);
  EXPECT_EQ(Entries(), std::set<std::string>{"a.txt"});
}

TEST_F(TextFile, PermissionDeniedWithoutPrivileges) {
  WriteBytes(Path("secret.txt"), "secret");
  chmod(Path("secret.txt").c_str(), 0);
  WriteBytes(Path("readonly.txt"), "old");
  chmod(Path("readonly.txt").c_str(), 0444);
  fs::create_directory(Path("shut"));
  chmod(Path("shut").c_str(), 0555);
  chmod(dir_.c_str(), 0777);

  EXPECT_EQ(RunUnprivileged(
                [&] { return ErrorNumberOf([&] { LoadTextFile(U16(Path("secret.txt"))); }); }),
            70);
  EXPECT_EQ(
      RunUnprivileged([&] { return ErrorNumberOf([&] { Save(Path("readonly.txt"), u"new"); }); }),
      70);
  EXPECT_EQ(
      RunUnprivileged([&] { return ErrorNumberOf([&] { Save(Path("shut/a.txt"), u"new"); }); }),
      70);
  EXPECT_EQ(ReadBytes(Path("readonly.txt")), "old");
  EXPECT_TRUE(Entries(Path("shut")).empty());
}

TEST_F(TextFile, FullDiskKeepsTheOldFile) {
  const std::u16string big(200'000, u'ぽ');
  // A file-size limit fails the write the way a full disk does.
  WriteBytes(Path("old.txt"), "old");
  const int number = RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{65536, 65536};
    setrlimit(RLIMIT_FSIZE, &limit);
    return ErrorNumberOf([&] { Save(Path("old.txt"), big); });
  });
  EXPECT_EQ(number, 61);
  EXPECT_EQ(ReadBytes(Path("old.txt")), "old");
  EXPECT_EQ(Entries(), std::set<std::string>{"old.txt"});

  if (!MountSmallTmpfs(Path("small"), "size=64k")) {
    GTEST_SKIP() << "cannot mount a small tmpfs";
  }
  WriteBytes(Path("small/old.txt"), "old");
  FakeServices services;
  TrappedSave(services, Path("small/old.txt"), big);
  ASSERT_EQ(services.boxes.size(), 1u);
  EXPECT_TRUE(services.boxes[0].prompt.starts_with(u"エラー番号:61\r\n"));
  EXPECT_EQ(ReadBytes(Path("small/old.txt")), "old");
  EXPECT_EQ(Entries(Path("small")), std::set<std::string>{"old.txt"});
}

}  // namespace
}  // namespace mdlPokoConv
