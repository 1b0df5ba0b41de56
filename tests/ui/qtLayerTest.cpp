#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "modalWatcher.h"
#include "qtControls.h"
#include "qtPlatform.h"

using namespace Qt::Literals::StringLiterals;

namespace {

TEST(Twips, ConvertAtTheLogicalResolution) {
  const struct {
    double twips;
    double dpi;
    int pixels;
  } cases[] = {
      {0, 96, 0},       {7, 96, 0},       {8, 96, 1},       {15, 96, 1},
      {2940, 96, 196},  {7908, 96, 527},  {5364, 96, 358},  {1992, 96, 133},
      {1440, 120, 120}, {7908, 120, 659}, {1992, 144, 199}, {7908, 192, 1054},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qtPlatform::TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " at " << c.dpi;
  }
  EXPECT_FLOAT_EQ(qtPlatform::PixelsToTwips(196, 96), 2940.0F);
  EXPECT_FLOAT_EQ(qtPlatform::PixelsToTwips(1, 96), 15.0F);
  EXPECT_FLOAT_EQ(qtPlatform::PixelsToTwips(659, 120), 7908.0F);
  EXPECT_FLOAT_EQ(qtPlatform::PixelsToTwips(1, 144), 10.0F);
}

TEST(NameFilters, FollowTheWindowsFilterList) {
  using namespace std::string_literals;
  const struct {
    std::u16string filter;
    QStringList expected;
  } cases[] = {
      {u"plain TEXT File (*.txt)\0*.txt\0\0"s, {u"plain TEXT File (*.txt)"_s}},
      {u"plain TEXT File (*.txt)\0*.txt\0すべてのファイル (*)\0*\0\0"s,
       {u"plain TEXT File (*.txt)"_s, u"すべてのファイル (*)"_s}},
      {u"Text\0*.txt;*.log\0\0"s, {u"Text (*.txt *.log)"_s}},
      {u"Text (*.txt;*.log)\0*.txt;*.log\0\0"s, {u"Text (*.txt *.log)"_s}},
      {u"Text (old)\0*.txt\0\0"s, {u"Text (old) (*.txt)"_s}},
      {u"All files (*.*)\0*.*\0\0"s, {u"All files (*)"_s}},
      {u"A\0*.a\0B\0*.b\0\0"s, {u"A (*.a)"_s, u"B (*.b)"_s}},
      {u"A\0*.a\0\0B\0*.b\0\0"s, {u"A (*.a)"_s}},
      {u"Text\0*.txt"s, {u"Text (*.txt)"_s}},
      {u"Text\0\0"s, {u"Text (*)"_s}},
      {u""s, {}},
      {u"\0"s, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qtPlatform::NameFiltersFrom(c.filter), c.expected)
        << c.expected.join(u'|').toStdString();
  }
}

// What the test saw of a message box and how it answered it.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  bool staysOnTop = false;
  Qt::WindowModality modality = Qt::NonModal;
};

enum class Reply { ClickYes, ClickNo, ClickOk, PressEnter, PressEscape };

int ShowAndReply(int style, Reply reply, SeenBox& seen) {
  ModalWatcher watcher([&](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (box == nullptr) {
      return false;
    }
    seen = {
        box->windowTitle(),
        box->text(),
        box->icon(),
        box->standardButtons(),
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton,
        box->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
        box->windowModality()};
    switch (reply) {
      case Reply::ClickYes:
        box->button(QMessageBox::Yes)->click();
        break;
      case Reply::ClickNo:
        box->button(QMessageBox::No)->click();
        break;
      case Reply::ClickOk:
        box->button(QMessageBox::Ok)->click();
        break;
      case Reply::PressEnter:
        QTest::keyClick(box, Qt::Key_Return);
        break;
      case Reply::PressEscape:
        QTest::keyClick(box, Qt::Key_Escape);
        break;
    }
    return true;
  });
  qtPlatform::QtServices services;
  const int answer = services.MsgBox(u"一行目\r\n二行目", style, u"題 - ぽこぺん");
  EXPECT_TRUE(watcher.Done());
  return answer;
}

TEST(QtMessageBox, ShowsTheStyleAndReturnsTheAnswer) {
  const struct {
    int style;
    Reply reply;
    int answer;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  } cases[] = {
      {platform::kMsgBoxQuestionYesNo, Reply::ClickYes, platform::kAnswerYes, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No},
      {platform::kMsgBoxQuestionYesNo, Reply::ClickNo, platform::kAnswerNo, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No},
      {platform::kMsgBoxQuestionYesNo, Reply::PressEnter, platform::kAnswerYes,
       QMessageBox::Question, QMessageBox::Yes | QMessageBox::No},
      {platform::kMsgBoxQuestionYesNo, Reply::PressEscape, platform::kAnswerNo,
       QMessageBox::Question, QMessageBox::Yes | QMessageBox::No},
      {platform::kMsgBoxOkOnly, Reply::ClickOk, platform::kAnswerOk, QMessageBox::NoIcon,
       QMessageBox::Ok},
      {platform::kMsgBoxOkOnly, Reply::PressEscape, platform::kAnswerOk, QMessageBox::NoIcon,
       QMessageBox::Ok},
      {platform::kMsgBoxExclamationOkOnly, Reply::PressEnter, platform::kAnswerOk,
       QMessageBox::Warning, QMessageBox::Ok},
      {platform::kMsgBoxErrorSystemModal, Reply::ClickOk, platform::kAnswerOk,
       QMessageBox::Critical, QMessageBox::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    SeenBox seen;
    EXPECT_EQ(ShowAndReply(c.style, c.reply, seen), c.answer);
    EXPECT_EQ(seen.title, u"題 - ぽこぺん"_s);
    EXPECT_EQ(seen.text, u"一行目\n二行目"_s);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.buttons, c.buttons);
    if (c.style == platform::kMsgBoxQuestionYesNo) {
      EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
    }
    const bool error = c.style == platform::kMsgBoxErrorSystemModal;
    EXPECT_EQ(seen.staysOnTop, error);
    if (error) {
      EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    }
  }
}

// A box is wide enough for the desktop to show its whole title, and never
// narrower than its text.
TEST(QtMessageBox, ShowsItsWholeTitleAndText) {
  const struct {
    std::u16string title;
    std::u16string prompt;
  } cases[] = {
      {u"ばいばいりゅん?", u"ばいばいりゅん?"},
      {u"読み込み - ぽこぺん",
       u"このファイルは読み込めません。\r\n\r\n/tmp/ぽこぺん/pipe.txt: "
       u"通常のファイルではありません"},
  };
  for (const auto& c : cases) {
    int boxWidth = 0;
    int needed = 0;
    int textWidth = 0;
    int longestLine = 0;
    ModalWatcher watcher([&](QWidget& modal) {
      auto* box = qobject_cast<QMessageBox*>(&modal);
      if (box == nullptr) {
        return false;
      }
      boxWidth = box->width();
      needed = qtPlatform::WidthForTitle(*box);
      const auto* text = box->findChild<QLabel*>(u"qt_msgbox_label"_s);
      textWidth = text->width();
      for (const QString& line : text->text().split(u'\n')) {
        longestLine = std::max(longestLine, text->fontMetrics().horizontalAdvance(line));
      }
      box->button(QMessageBox::Ok)->click();
      return true;
    });
    qtPlatform::QtServices services;
    services.MsgBox(c.prompt, platform::kMsgBoxExclamationOkOnly, c.title);
    EXPECT_TRUE(watcher.Done());
    EXPECT_GE(boxWidth, needed);
    EXPECT_GE(textWidth, longestLine);
  }
}

// Just after a dialog has closed no window is active: a box then still
// belongs to the program's window and shows its icon.
TEST(QtMessageBox, BelongsToTheMainWindowWhenNoneIsActive) {
  QMainWindow window;
  window.setWindowIcon(QIcon(QPixmap(16, 16)));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  {
    QDialog dialog(&window);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  }
  QWidget* owner = nullptr;
  bool hasIcon = false;
  ModalWatcher watcher([&](QWidget& modal) {
    owner = modal.parentWidget();
    hasIcon = !modal.windowIcon().isNull();
    modal.close();
    return true;
  });
  qtPlatform::QtServices services;
  services.MsgBox(u"エラー", platform::kMsgBoxErrorSystemModal, u"エラー - ぽこぺん");
  EXPECT_TRUE(watcher.Done());
  EXPECT_EQ(owner, &window);
  EXPECT_TRUE(hasIcon);
}

TEST(QtMousePointer, HourglassIsSetOnceAndDefaultRemovesEveryOverride) {
  qtPlatform::QtServices services;
  services.SetMousePointer(platform::kPointerHourglass);
  services.SetMousePointer(platform::kPointerHourglass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  QGuiApplication::setOverrideCursor(Qt::CrossCursor);
  services.SetMousePointer(platform::kPointerHourglass);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::setOverrideCursor(Qt::IBeamCursor);
  services.SetMousePointer(platform::kPointerDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtHandles, NameWindowsUntilTheyAreGone) {
  qtPlatform::QtServices services;
  auto first = std::make_unique<QWidget>();
  QWidget second;
  const std::int32_t handle = qtPlatform::HandleOfWindow(*first);
  EXPECT_NE(handle, 0);
  EXPECT_EQ(qtPlatform::HandleOfWindow(*first), handle);
  EXPECT_NE(qtPlatform::HandleOfWindow(second), handle);
  EXPECT_EQ(qtPlatform::WindowOfHandle(handle), first.get());
  EXPECT_EQ(qtPlatform::WindowOfHandle(0), nullptr);
  first.reset();
  EXPECT_EQ(qtPlatform::WindowOfHandle(handle), nullptr);
  EXPECT_NE(services.InstanceHandle(), 0);
  EXPECT_EQ(services.InstanceHandle(), services.InstanceHandle());
}

// The dialogs write their settings (the last folder, the history) into a
// temporary folder, not into the configuration of whoever runs the tests.
TEST(QtFileDialogSettings, StayOutOfTheUsersConfiguration) {
  const QSettings qtProject(QSettings::UserScope, u"QtProject"_s);
  EXPECT_TRUE(qtProject.fileName().startsWith(QDir::tempPath() + u'/'))
      << qtProject.fileName().toStdString();
}

// Types a name into the dialog's file name box, as a person would.
void TypeFileName(QFileDialog& dialog, const QString& name) {
  auto* edit = dialog.findChild<QLineEdit*>(u"fileNameEdit"_s);
  ASSERT_NE(edit, nullptr);
  edit->setText(name);
}

class QtFileDialogs : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    existing = folder.filePath(u"ぽこ ぺん.txt"_s);
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
  }

  platform::OpenFileName Request(std::uint32_t flags) {
    using namespace std::string_literals;
    platform::OpenFileName ofn;
    ofn.hwndOwner = qtPlatform::HandleOfWindow(owner);
    ofn.lpstrFilter = u"plain TEXT File (*.txt)\0*.txt\0\0"s;
    ofn.lpstrTitle = u"読み込み - ぽこぺん";
    ofn.lpstrFile = u"初め.txt";
    ofn.Flags = flags;
    return ofn;
  }

  QTemporaryDir folder;
  QString existing;
  QWidget owner;
  qtPlatform::QtServices services;
};

TEST_F(QtFileDialogs, OpenReturnsTheWholeChosenPath) {
  QString title;
  QStringList filters;
  QString initialName;
  QWidget* parent = nullptr;
  ModalWatcher watcher([&](QWidget& modal) {
    auto* dialog = qobject_cast<QFileDialog*>(&modal);
    if (dialog == nullptr) {
      return false;
    }
    title = dialog->windowTitle();
    filters = dialog->nameFilters();
    initialName = dialog->selectedFiles().value(0);
    parent = dialog->parentWidget();
    TypeFileName(*dialog, existing);
    static_cast<QDialog*>(dialog)->accept();
    return true;
  });
  platform::OpenFileName ofn = Request(platform::OFN_FILEMUSTEXIST | platform::OFN_HIDEREADONLY);
  EXPECT_EQ(services.GetOpenFileName(ofn), 1);
  EXPECT_EQ(ofn.lpstrFile, QDir::toNativeSeparators(existing).toStdU16String());
  EXPECT_EQ(title, u"読み込み - ぽこぺん"_s);
  EXPECT_EQ(filters, QStringList{u"plain TEXT File (*.txt)"_s});
  EXPECT_TRUE(initialName.endsWith(u"/初め.txt"_s)) << initialName.toStdString();
  EXPECT_EQ(parent, &owner);
}

TEST_F(QtFileDialogs, CancelLeavesThePathAlone) {
  ModalWatcher watcher([](QWidget& modal) {
    auto* dialog = qobject_cast<QFileDialog*>(&modal);
    if (dialog != nullptr) {
      dialog->reject();
    }
    return dialog != nullptr;
  });
  platform::OpenFileName ofn = Request(platform::OFN_FILEMUSTEXIST);
  EXPECT_EQ(services.GetOpenFileName(ofn), 0);
  EXPECT_EQ(ofn.lpstrFile, u"初め.txt");
}

TEST_F(QtFileDialogs, OpenRefusesAMissingFileAndStaysOpen) {
  enum class Stage { ChooseMissing, DismissWarning, Cancel } stage = Stage::ChooseMissing;
  bool warned = false;
  ModalWatcher watcher([&](QWidget& modal) {
    auto* dialog = qobject_cast<QFileDialog*>(&modal);
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (stage == Stage::ChooseMissing && dialog != nullptr) {
      stage = Stage::DismissWarning;
      TypeFileName(*dialog, folder.filePath(u"無い.txt"_s));
      QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
    } else if (stage == Stage::DismissWarning && box != nullptr) {
      warned = true;
      stage = Stage::Cancel;
      box->accept();
    } else if (stage == Stage::Cancel && dialog != nullptr) {
      dialog->reject();
      return true;
    }
    return false;
  });
  platform::OpenFileName ofn = Request(platform::OFN_FILEMUSTEXIST);
  EXPECT_EQ(services.GetOpenFileName(ofn), 0);
  EXPECT_TRUE(warned);
}

TEST_F(QtFileDialogs, SaveReplacesAnExistingFileWithoutAQuestion) {
  ModalWatcher watcher([&](QWidget& modal) {
    auto* dialog = qobject_cast<QFileDialog*>(&modal);
    if (dialog == nullptr) {
      ADD_FAILURE() << "a question was asked: " << modal.metaObject()->className();
      modal.close();
      return true;
    }
    TypeFileName(*dialog, existing);
    static_cast<QDialog*>(dialog)->accept();
    return true;
  });
  platform::OpenFileName ofn = Request(platform::OFN_HIDEREADONLY);
  EXPECT_EQ(services.GetSaveFileName(ofn), 1);
  EXPECT_EQ(ofn.lpstrFile, QDir::toNativeSeparators(existing).toStdU16String());
}

TEST(MenuClick, TheHandlerAloneDecidesTheMark) {
  QAction item;
  item.setCheckable(true);
  std::vector<bool> marksSeen;
  qtPlatform::OnClick(item, [&] { marksSeen.push_back(item.isChecked()); });
  item.trigger();
  item.trigger();
  EXPECT_EQ(marksSeen, (std::vector<bool>{false, false}));
  EXPECT_FALSE(item.isChecked());
}

}  // namespace
