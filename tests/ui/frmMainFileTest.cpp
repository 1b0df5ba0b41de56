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
  EXPECT_EQ(asked.lpstrFilter, u"plain TEXT File (*.txt)\0*.txt\0\0"s);
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

TEST_F(FileCommands, AFailedLoadIsReportedOnceAndKeepsTheUpperBox) {
  const std::u16string invalid = PathOf(u"bad.txt"_s);
  WriteBytes(invalid, "ok\x81\x20");
  struct Case {
    std::u16string path;
    const char16_t* number;
  };
  const Case cases[] = {
      {PathOf(u"missing.txt"_s), u"エラー番号:53\r\n"},
      {folder.path().toStdU16String(), u"エラー番号:75\r\n"},
      {invalid, u"エラー番号:5\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    services.boxes.clear();
    services.pointers.clear();
    window.txtSource.SetText(u"元の文");
    Choose(c.path);
    window.mnuFileOpen_Click();
    EXPECT_TRUE(ReportedOnlyAt(kLoadLocation, 1));
    ASSERT_FALSE(services.boxes.empty());
    EXPECT_TRUE(services.boxes[0].prompt.starts_with(c.number));
    EXPECT_EQ(window.txtSource.Text(), u"元の文");
    EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  }
  EXPECT_NE(services.boxes[0].prompt.find(u"オフセット 2"), std::u16string::npos);
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

TEST_F(FileCommands, AnUnencodableCharacterFailsTheSaveAndKeepsTheOldFile) {
  const std::u16string path = PathOf(u"keep.txt"_s);
  WriteBytes(path, "old");
  window.txtPokoryun.SetText(u"一行目\r\n雪だるま☃です");
  Choose(path);
  window.mnuFileSave_Click();
  EXPECT_TRUE(ReportedOnlyAt(kSaveLocation, 1));
  ASSERT_EQ(services.boxes.size(), 1u);
  EXPECT_NE(services.boxes[0].prompt.find(u"2 行目 5 文字目の U+2603"), std::u16string::npos);
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(window.txtPokoryun.Text(), u"一行目\r\n雪だるま☃です");
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path().toStdString()),
                          std::filesystem::directory_iterator()),
            1);
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

int Lines(std::u16string_view text) {
  return static_cast<int>(std::count(text.begin(), text.end(), u'\n')) + 1;
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
  // A line a block, a lone LF as much as any other break.
  EXPECT_EQ(window.txtSource.blockCount(), Lines(large.loaded));

  window.mnuConvExec_Click();
  const std::u16string converted = mdlFlexConv::ConvertPersona(large.loaded, 0, 0, 1, 1, 0);
  EXPECT_TRUE(window.ConvertedText() == converted);
  EXPECT_EQ(window.txtPokoryun.blockCount(), Lines(large.loaded));

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
