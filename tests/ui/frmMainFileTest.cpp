#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fakeServices.h"
#include "frmMain.h"
#include "mdlFlexConv.h"
#include "modalWatcher.h"
#include "qtPlatform.h"
#include "textCodec.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::string_literals;

namespace {

constexpr std::u16string_view kLoadLocation = u"frmMain!mnuFileOpen.Click";
constexpr std::u16string_view kSaveLocation = u"frmMain!mnuFileSave.Click";

// わたしです。 in code page 932.
const std::string kWatashiDesuCp932 = "\x82\xED\x82\xBD\x82\xB5\x82\xC5\x82\xB7\x81\x42";

class FileCommands : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.isValid()); }

  std::u16string PathOf(const QString& name) const {
    return QDir(folder.path()).filePath(name).toStdU16String();
  }

  static std::filesystem::path FsPath(std::u16string_view path) {
    return std::filesystem::path(std::u16string(path));
  }

  static void WriteBytes(std::u16string_view path, const std::string& bytes) {
    std::ofstream(FsPath(path), std::ios::binary) << bytes;
  }

  static std::string ReadBytes(std::u16string_view path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void Choose(std::u16string_view path) { services.dialogAnswers.emplace_back(path); }

  bool ReportedOnlyAt(std::u16string_view location, std::size_t count) const {
    if (services.boxes.size() != count) {
      return false;
    }
    for (const auto& box : services.boxes) {
      if (box.style != platform::kMsgBoxErrorSystemModal ||
          box.prompt.find(u"場所:"s + std::u16string(location)) == std::u16string::npos) {
        return false;
      }
    }
    return true;
  }

  QTemporaryDir folder;
  FakeServices services;
  frmMain window{services};
};

TEST_F(FileCommands, LoadAsksForAnExistingTextFileAndFillsTheUpperBox) {
  const std::u16string path = PathOf(u"源 ファイル.txt"_s);
  WriteBytes(path, kWatashiDesuCp932 + "\r\n2\r3\n4");
  window.txtPokoryun.SetText(u"そのまま");
  Choose(path);

  window.mnuFileOpen_Click();

  ASSERT_EQ(services.dialogs.size(), 1u);
  const platform::OpenFileName& asked = services.dialogs[0].ofn;
  EXPECT_FALSE(services.dialogs[0].save);
  EXPECT_EQ(asked.lpstrTitle, u"読み込み - ぽこぺん");
  // Linux texts are often .md, .log, .csv or have no extension at all.
  EXPECT_EQ(asked.lpstrFilter, u"plain TEXT File (*.txt)\0*.txt\0すべてのファイル (*)\0*\0\0"s);
  EXPECT_EQ(asked.nFilterIndex, 1u);
  EXPECT_EQ(asked.lpstrFile, u"");
  EXPECT_EQ(asked.Flags, 4100u);
  EXPECT_EQ(asked.hwndOwner, window.WindowHandle());
  EXPECT_EQ(qtPlatform::WindowOfHandle(asked.hwndOwner), &window);
  EXPECT_EQ(asked.hInstance, services.InstanceHandle());
  // Lines end at CR LF and a lone CR; a lone LF stays; the last line gains CR LF.
  EXPECT_EQ(window.txtSource.Text(), u"わたしです。\r\n2\r\n3\n4\r\n");
  EXPECT_EQ(window.txtPokoryun.Text(), u"そのまま");
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  EXPECT_TRUE(services.boxes.empty());
}

TEST_F(FileCommands, CancelledDialogsChangeNothing) {
  window.txtSource.SetText(u"上");
  window.txtPokoryun.SetText(u"下");
  window.mnuFileOpen_Click();
  window.mnuFileSave_Click();
  EXPECT_EQ(services.dialogs.size(), 2u);
  EXPECT_EQ(window.txtSource.Text(), u"上");
  EXPECT_EQ(window.txtPokoryun.Text(), u"下");
  EXPECT_TRUE(services.pointers.empty());
  EXPECT_TRUE(services.boxes.empty());
}

// What the system fails at is reported as an error; a file refused for what
// it holds is told plainly. Either way the upper box stays as it was.
TEST_F(FileCommands, AFailedOrRefusedLoadIsToldOnceAndKeepsTheUpperBox) {
  struct Case {
    std::u16string path;
    std::string bytes;  // written to path unless empty
    int style;
    std::u16string_view expected;  // the start of the report, or a part of the message
  };
  const int report = platform::kMsgBoxErrorSystemModal;
  const int plain = platform::kMsgBoxExclamationOkOnly;
  const Case cases[] = {
      {PathOf(u"missing.txt"_s), "", report, u"エラー番号:53\r\n場所:frmMain!mnuFileOpen.Click"},
      {folder.path().toStdU16String(), "", report, u"エラー番号:75\r\n"},
      {PathOf(u"pipe.txt"_s), "", plain, u": 通常のファイルではありません"},
      {PathOf(u"bad.txt"_s), "ok\x81\x20", plain, u"として読めないバイトがあります (オフセット 2)"},
      {PathOf(u"nul.txt"_s), "a\0b"s, plain, u"NUL バイトがあります (オフセット 1)"},
      {PathOf(u"euc.txt"_s), "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", plain,
       u"EUC-JP のファイルは読めません (iconv -f EUC-JP -t UTF-8 で変換できます)"},
      {PathOf(u"jis.txt"_s), "\x1B$B$o$?$7\x1B(B", plain, u"iconv -f ISO-2022-JP -t UTF-8"},
      {PathOf(u"mixed.txt"_s),
       "\x82\xED\x82\xBD\x82\xB5\x82\xCD\xE3\x81\xA7\xE3\x81\x99\x82\xC5\x82\xB7", plain,
       u"UTF-8 とコードページ 932 が混ざっています (オフセット 8 から UTF-8)"},
  };
  ASSERT_EQ(mkfifo(QDir(folder.path()).filePath(u"pipe.txt"_s).toLocal8Bit().constData(), 0600), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromStdU16String(c.path).toStdString());
    if (!c.bytes.empty()) {
      WriteBytes(c.path, c.bytes);
    }
    services.boxes.clear();
    services.pointers.clear();
    window.txtSource.SetText(u"元の文");
    Choose(c.path);
    window.mnuFileOpen_Click();
    ASSERT_EQ(services.boxes.size(), 1u);
    const FakeServices::Box& box = services.boxes[0];
    EXPECT_EQ(box.style, c.style);
    if (c.style == report) {
      EXPECT_TRUE(box.prompt.starts_with(c.expected));
    } else {
      EXPECT_EQ(box.title, u"読み込み - ぽこぺん");
      EXPECT_TRUE(
          box.prompt.starts_with(u"このファイルは読み込めません。\r\n\r\n" + c.path + u": "));
      EXPECT_NE(box.prompt.find(c.expected), std::u16string::npos);
    }
    EXPECT_EQ(window.txtSource.Text(), u"元の文");
    EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  }
}

TEST_F(FileCommands, SaveWritesTheLowerBoxInCodePage932WithOneCrLf) {
  const std::u16string path = PathOf(u"出力 先.txt"_s);
  WriteBytes(path, "old contents that are longer");
  window.txtSource.SetText(u"上の箱は書かない");
  window.txtPokoryun.SetText(u"わたしです。");
  Choose(path);

  window.mnuFileSave_Click();

  ASSERT_EQ(services.dialogs.size(), 1u);
  EXPECT_TRUE(services.dialogs[0].save);
  EXPECT_EQ(services.dialogs[0].ofn.lpstrTitle, u"保存 - ぽこぺん");
  EXPECT_EQ(services.dialogs[0].ofn.Flags, 0u);
  EXPECT_EQ(ReadBytes(path), kWatashiDesuCp932 + "\r\n");
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  EXPECT_TRUE(services.boxes.empty());

  // An empty box still gives its CR LF; loading the file back reads one line.
  window.txtPokoryun.SetText(u"");
  Choose(path);
  window.mnuFileSave_Click();
  EXPECT_EQ(ReadBytes(path), "\r\n");
  Choose(path);
  window.mnuFileOpen_Click();
  EXPECT_EQ(window.txtSource.Text(), u"\r\n");
}

// A text from the web: a non-breaking space and an em dash that code page 932
// writes as its own blank and dash, and characters it has not.
constexpr std::u16string_view kWebText = u"著作権©2024\u00A0ぽこ\r\n絵文字😀と™\r\n—®\r\n";

TEST_F(FileCommands, SavingWhatCodePage932CannotHoldAsksFirst) {
  const std::u16string question =
      u"コードページ 932 (Shift_JIS) で保存できない文字が 4 個あります。\r\n\r\n"
      u"・1 行目 4 文字目「©」(U+00A9)\r\n"
      u"・2 行目 4 文字目「😀」(U+1F600)\r\n"
      u"・2 行目 6 文字目「™」(U+2122)\r\n"
      u"・3 行目 2 文字目「®」(U+00AE)\r\n"
      u"\r\nUTF-8 なら、すべての文字をそのまま保存できます。\r\n"
      u"代わりに UTF-8 で、同じファイル名で保存しますか?";
  const std::string utf8 = textCodec::EncodeUtf8(kWebText).bytes;
  std::string asUtf8;
  for (const char c : utf8) {
    if (c != '\r') {
      asUtf8 += c;
    }
  }
  struct Case {
    const char* name;
    std::u16string text;
    std::uint32_t filter;
    int answer;
    std::vector<int> styles;  // of the boxes shown
    std::string saved;        // the file afterwards
  };
  const Case cases[] = {
      {"no keeps the old file",
       std::u16string(kWebText),
       1,
       platform::kAnswerNo,
       {platform::kMsgBoxQuestionYesNo},
       "old"},
      {"yes saves UTF-8 under the same name",
       std::u16string(kWebText),
       1,
       platform::kAnswerYes,
       {platform::kMsgBoxQuestionYesNo},
       asUtf8},
      {"look-alikes are no question",
       u"ぽこ\u00A0\u2014",
       1,
       platform::kAnswerNo,
       {},
       "\x82\xDB\x82\xB1\x20\x81\x5C\r\n"},
      {"UTF-8 cannot hold a lone surrogate either",
       u"©\xD800",
       1,
       platform::kAnswerYes,
       {platform::kMsgBoxQuestionYesNo, platform::kMsgBoxExclamationOkOnly},
       "old"},
      {"nor when chosen",
       u"a\xD800",
       2,
       platform::kAnswerYes,
       {platform::kMsgBoxExclamationOkOnly},
       "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string path = PathOf(u"web.txt"_s);
    WriteBytes(path, "old");
    services.boxes.clear();
    services.pointers.clear();
    services.boxAnswers = {c.answer};
    services.chosenFilter = c.filter;
    window.txtPokoryun.SetText(c.text);
    Choose(path);
    window.mnuFileSave_Click();

    std::vector<int> styles;
    for (const FakeServices::Box& box : services.boxes) {
      styles.push_back(box.style);
      EXPECT_EQ(box.title, u"保存 - ぽこぺん");
    }
    EXPECT_EQ(styles, c.styles);
    if (c.text == kWebText) {
      EXPECT_EQ(services.boxes.at(0).prompt, question);
    }
    if (c.styles.size() > 0 && c.styles.back() == platform::kMsgBoxExclamationOkOnly) {
      EXPECT_TRUE(services.boxes.back().prompt.starts_with(
          u"UTF-8 でも保存できない文字 (対になっていないサロゲート) が 1 個あります。\r\n\r\n"
          u"・1 行目 2 文字目 U+D800\r\n"));
    }
    EXPECT_EQ(ReadBytes(path), c.saved);
    EXPECT_EQ(window.txtPokoryun.Text(), c.text);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path().toStdString()),
                            std::filesystem::directory_iterator()),
              1);
  }
}

TEST_F(FileCommands, TheQuestionListsTheFirstFiveAndCountsTheRest) {
  std::u16string text;
  for (int i = 0; i < 8; ++i) {
    text += u"a\u200B©\r\n";
  }
  window.txtPokoryun.SetText(text);
  services.boxAnswers = {platform::kAnswerNo};
  Choose(PathOf(u"many.txt"_s));
  window.mnuFileSave_Click();
  ASSERT_EQ(services.boxes.size(), 1u);
  // The zero-width space shows by its code point alone.
  EXPECT_TRUE(services.boxes[0].prompt.starts_with(
      u"コードページ 932 (Shift_JIS) で保存できない文字が 16 個あります。\r\n\r\n"
      u"・1 行目 2 文字目 U+200B\r\n・1 行目 3 文字目「©」(U+00A9)\r\n"
      u"・2 行目 2 文字目 U+200B\r\n・2 行目 3 文字目「©」(U+00A9)\r\n"
      u"・3 行目 2 文字目 U+200B\r\n・ほか 11 個\r\n\r\n"));
  // The question comes without the hourglass, and nothing was written.
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  EXPECT_FALSE(std::filesystem::exists(FsPath(PathOf(u"many.txt"_s))));
}

TEST_F(FileCommands, ATargetThatCannotBeCreatedGivesTwoReportsAndNoThird) {
  Choose(folder.path().toStdU16String());
  window.txtPokoryun.SetText(u"text");
  window.mnuFileSave_Click();
  EXPECT_TRUE(ReportedOnlyAt(kSaveLocation, 2));
  ASSERT_EQ(services.boxes.size(), 2u);
  EXPECT_EQ(services.boxes[0].prompt, services.boxes[1].prompt);
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
}

// Some megabytes of lines ending in CR LF, a lone CR or a lone LF, some of
// them empty, as a code page 932 file gives them, and the text Load makes of
// them.
struct LargeText {
  std::string file;
  std::u16string loaded;
};

LargeText MakeLargeText() {
  const std::u16string_view sentences[] = {u"わたしはあなたが好きです。", u"そうなのだ",
                                           u"ぼくはきみのことを知っているのだ、です。"};
  const std::u16string_view breaks[] = {u"\r\n", u"\r", u"\n", u"\n\n", u"\r\r\n"};
  const std::u16string_view loadedBreaks[] = {u"\r\n", u"\r\n", u"\n", u"\n\n", u"\r\n\r\n"};
  std::u16string text;
  LargeText large;
  for (int i = 0; i < 100000; ++i) {
    text += sentences[i % 3];
    text += breaks[i % 5];
    large.loaded += sentences[i % 3];
    large.loaded += loadedBreaks[i % 5];
  }
  large.file = textCodec::EncodeCp932(text).bytes;
  return large;
}

int LoneLfs(std::u16string_view text) {
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    count += text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r') ? 1 : 0;
  }
  return count;
}

TEST_F(FileCommands, LargeFilesLoadConvertAndSaveWhole) {
  const LargeText large = MakeLargeText();
  const std::u16string source = PathOf(u"large.txt"_s);
  const std::u16string target = PathOf(u"large-out.txt"_s);
  WriteBytes(source, large.file);

  // Plain comparisons: a diff of megabytes would take the test down.
  Choose(source);
  window.mnuFileOpen_Click();
  EXPECT_TRUE(window.txtSource.Text() == large.loaded);
  // A lone LF ends a block; the other lines between two share one.
  EXPECT_EQ(window.txtSource.blockCount(), LoneLfs(large.loaded) + 1);

  window.mnuConvExec_Click();
  const std::u16string converted = mdlFlexConv::ConvertPersona(large.loaded, 0, 0, 1, 1, 0);
  EXPECT_TRUE(window.ConvertedText() == converted);
  EXPECT_EQ(window.txtPokoryun.blockCount(), LoneLfs(large.loaded) + 1);

  Choose(target);
  window.mnuFileSave_Click();
  EXPECT_TRUE(ReadBytes(target) == textCodec::EncodeCp932(converted).bytes + "\r\n");
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0, 11, 0, 11, 0}));
  EXPECT_TRUE(services.boxes.empty());
}

// Through Qt's own file dialog: a person types the name and accepts.
TEST(FileCommandsWithTheRealDialog, LoadThenSaveThroughQtsFileDialog) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString source = folder.filePath(u"読む ファイル.txt"_s);
  const QString target = folder.filePath(u"書く.txt"_s);
  std::ofstream(source.toStdString(), std::ios::binary) << kWatashiDesuCp932;

  qtPlatform::QtServices services;
  frmMain window(services);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  const auto typeAndAccept = [](const QString& name) {
    return [name](QWidget& modal) {
      auto* dialog = qobject_cast<QFileDialog*>(&modal);
      if (dialog == nullptr) {
        return false;
      }
      auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
      if (edit == nullptr) {
        return false;
      }
      edit->setText(name);
      static_cast<QDialog*>(dialog)->accept();
      return true;
    };
  };
  {
    ModalWatcher watcher(typeAndAccept(source));
    window.mnuFileOpen_Click();
    EXPECT_TRUE(watcher.Done());
  }
  EXPECT_EQ(window.txtSource.Text(), u"わたしです。\r\n");

  window.mnuConvExec_Click();
  {
    ModalWatcher watcher(typeAndAccept(target));
    window.mnuFileSave_Click();
    EXPECT_TRUE(watcher.Done());
  }
  std::ifstream in(target.toStdString(), std::ios::binary);
  const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // ぽこりゅんだりゅん。 then the CR LF of the loaded line and the one Save adds.
  EXPECT_EQ(saved,
            "\x82\xDB\x82\xB1\x82\xE8\x82\xE3\x82\xF1\x82\xBE\x82\xE8\x82\xE3\x82\xF1\x81\x42"
            "\r\n\r\n");
}

// A person saves as UTF-8 with the keyboard alone: the name typed, Tab to the
// file type, Down to the second filter, Return.
TEST(FileCommandsWithTheRealDialog, TheSecondFilterSavesUtf8) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString target = folder.filePath(u"utf8.txt"_s);
  qtPlatform::QtServices services;
  frmMain window(services);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.txtPokoryun.SetText(u"ぽこりゅん\r\nダ～リン");

  ModalWatcher watcher([&](QWidget& modal) {
    auto* dialog = qobject_cast<QFileDialog*>(&modal);
    auto* edit = dialog != nullptr ? dialog->findChild<QLineEdit*>(u"fileNameEdit"_s) : nullptr;
    if (edit == nullptr || !edit->hasFocus()) {
      return false;
    }
    QTest::keyClicks(edit, target);
    QTest::keyClick(edit, Qt::Key_Tab);
    QWidget* typeBox = QApplication::focusWidget();
    EXPECT_EQ(typeBox, dialog->findChild<QComboBox*>(u"fileTypeCombo"_s));
    QTest::keyClick(typeBox, Qt::Key_Down);
    EXPECT_EQ(dialog->selectedNameFilter(), u"UTF-8 TEXT File (*.txt)"_s);
    QTest::keyClick(typeBox, Qt::Key_Return);
    return true;
  });
  window.mnuFileSave_Click();
  EXPECT_TRUE(watcher.Done());
  std::ifstream in(target.toStdString(), std::ios::binary);
  const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(saved, "ぽこりゅん\nダ～リン\n");
}

}  // namespace
