#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "progressDisplay.h"
#include "qtControls.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The text with its breaks made visible, for failure messages.
std::string Shown(std::u16string_view text) {
  QString shown = QString::fromStdU16String(std::u16string(text));
  shown.replace(u'\r', u"\\r"_s).replace(u'\n', u"\\n"_s);
  return shown.toStdString();
}

TEST(TextBoxText, EveryMixOfLineBreaksReadsBackAsSet) {
  // Up to four breaks, each CR LF, a lone CR or a lone LF, and each followed
  // by an empty line or by one with text: only a lone CR reads back
  // otherwise, as CR LF.
  const std::u16string_view breaks[] = {u"\r\n", u"\r", u"\n"};
  qtPlatform::TextBox box;
  for (int count = 0, mixes = 1; count <= 4; ++count, mixes *= 6) {
    for (int mix = 0; mix < mixes; ++mix) {
      std::u16string set = u"あ";
      std::u16string expected = set;
      for (int i = 0, rest = mix; i < count; ++i, rest /= 6) {
        const std::u16string_view lineBreak = breaks[rest % 3];
        const bool emptyLine = rest / 3 % 2 != 0;
        // A lone LF right after a lone CR joins it: the two are one CR LF.
        if (!(lineBreak == u"\n" && set.ends_with(u'\r'))) {
          expected += lineBreak == u"\n" ? u"\n" : u"\r\n";
        }
        set += lineBreak;
        set += emptyLine ? u"" : u"い";
        expected += emptyLine ? u"" : u"い";
      }
      box.SetText(set);
      EXPECT_EQ(box.Text(), expected) << Shown(set);
    }
  }
}

void Paste(qtPlatform::TextBox& box, const QString& text) {
  QApplication::clipboard()->setText(text);
  box.paste();
}

QString Copied(qtPlatform::TextBox& box) {
  box.copy();
  return QApplication::clipboard()->text();
}

TEST(TextBoxText, CharactersComeBackUnchangedHoweverTheyCameIn) {
  // Qt takes U+2029, U+FDD0 and U+FDD1 for breaks and U+2028 shows as one;
  // each is entered after the same text, so that it follows what may be a
  // stand-in of its own.
  const std::u16string_view texts[] = {
      u"a\u00A0b",
      u"\t\U00020BB7ぽ\u3000",
      u"a\u2028b",
      u"a\u2029b",
      u"\uFDD0a\uFDD1",
      u"a\uFFFCb",
      u"\uFFFD\uFDD0\uFFFD\u2028\u2029\u2028\uFDD1",
  };
  const struct {
    const char* name;
    std::function<void(qtPlatform::TextBox&, const QString&)> enter;
  } ways[] = {
      {"pasted", [](auto& box, const QString& text) { Paste(box, text); }},
      {"typed",
       [](auto& box, const QString& text) {
         QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
         QApplication::sendEvent(&box, &key);
       }},
      {"from an input method",
       [](auto& box, const QString& text) {
         QInputMethodEvent commit(u"未"_s, {});
         commit.setCommitString(text);
         QApplication::sendEvent(&box, &commit);
       }},
  };
  qtPlatform::TextBox box;
  for (const std::u16string_view text : texts) {
    for (const auto& way : ways) {
      SCOPED_TRACE(way.name);
      box.SetText(text);
      box.moveCursor(QTextCursor::End);
      way.enter(box, QString::fromStdU16String(std::u16string(text)));
      const std::u16string twice = std::u16string(text) + std::u16string(text);
      EXPECT_EQ(box.Text(), twice) << Shown(text);
      box.selectAll();
      EXPECT_EQ(Copied(box).toStdU16String(), twice) << Shown(text);
    }
  }
}

TEST(TextBoxText, PiecesMaySplitAnywhereEvenBetweenCrAndLf) {
  const std::u16string text = u"あ\r\nい\rう\nえ\r\r\n\n\rお\r";
  qtPlatform::TextBox whole;
  whole.SetText(text);
  qtPlatform::TextBox box;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    for (std::size_t j = i; j <= text.size(); ++j) {
      qtPlatform::TextBoxFiller filler(box);
      filler.Append(std::u16string_view(text).substr(0, i));
      filler.Append(std::u16string_view(text).substr(i, j - i));
      filler.Append(std::u16string_view(text).substr(j));
      filler.Finish();
      EXPECT_EQ(box.Text(), whole.Text()) << i << " " << j;
    }
  }
  EXPECT_EQ(whole.Text(), u"あ\r\nい\r\nう\nえ\r\n\r\n\n\r\nお\r\n");
}

TEST(TextBoxText, TypedLineBreaksReadAsCrLf) {
  qtPlatform::TextBox box;
  QTest::keyClicks(&box, u"ab"_s);
  QTest::keyClick(&box, Qt::Key_Return);
  QTest::keyClicks(&box, u"c"_s);
  QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(&box, u"d"_s);
  QTest::keyClick(&box, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
  EXPECT_EQ(box.Text(), u"ab\r\nc\r\nd\r\n");
}

void Key(qtPlatform::TextBox& box, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(&box, key, modifiers);
}

void Select(qtPlatform::TextBox& box, int anchor, int position) {
  QTextCursor cursor = box.textCursor();
  cursor.setPosition(anchor);
  cursor.setPosition(position, QTextCursor::KeepAnchor);
  box.setTextCursor(cursor);
}

TEST(TextBoxText, EditsKeepTheBreaksTheyDoNotTouchAndAddCrLf) {
  // Positions count a line break as one character. Each edit is undone and
  // redone as a whole.
  const struct {
    const char* name;
    std::u16string set;
    int anchor;
    int position;
    std::function<void(qtPlatform::TextBox&)> edit;
    std::u16string expected;
  } cases[] = {
      {"Enter inside a line ending in LF", u"ab\ncd", 1, 1,
       [](auto& box) { Key(box, Qt::Key_Return); }, u"a\r\nb\ncd"},
      {"Enter at the end of a line ending in LF", u"ab\ncd", 2, 2,
       [](auto& box) { Key(box, Qt::Key_Return); }, u"ab\r\n\ncd"},
      {"Shift+Enter at the start of a line after LF", u"ab\ncd", 3, 3,
       [](auto& box) { Key(box, Qt::Key_Return, Qt::ShiftModifier); }, u"ab\n\r\ncd"},
      {"a line typed into an empty line after LF", u"a\n\nb", 2, 2,
       [](auto& box) {
         QTest::keyClicks(&box, u"x"_s);
         Key(box, Qt::Key_Enter, Qt::KeypadModifier);
       },
       u"a\nx\r\n\nb"},
      {"a line typed after a final LF", u"a\n", 2, 2,
       [](auto& box) {
         QTest::keyClicks(&box, u"x"_s);
         Key(box, Qt::Key_Return);
       },
       u"a\nx\r\n"},
      {"Backspace joins a line to the one before", u"ab\ncd\r\nef", 3, 3,
       [](auto& box) { Key(box, Qt::Key_Backspace); }, u"abcd\r\nef"},
      {"Delete joins the next line, whose LF stays", u"ab\r\ncd\nef", 2, 2,
       [](auto& box) { Key(box, Qt::Key_Delete); }, u"abcd\nef"},
      {"Backspace removes a CR LF between lines ending in LF", u"a\nb\r\nc\nd", 4, 4,
       [](auto& box) { Key(box, Qt::Key_Backspace); }, u"a\nbc\nd"},
      {"pasting lines inside a line ending in LF", u"ab\ncd", 1, 1,
       [](auto& box) { Paste(box, u"X\nY\rZ\r\nW"_s); }, u"aX\r\nY\r\nZ\r\nWb\ncd"},
      {"pasting lines into an empty line after LF", u"a\n\nb", 2, 2,
       [](auto& box) { Paste(box, u"X\nY"_s); }, u"a\nX\r\nY\nb"},
      {"typing over a selection across breaks", u"ab\ncd\r\nef\ng", 1, 7,
       [](auto& box) { QTest::keyClicks(&box, u"z"_s); }, u"azf\ng"},
      {"Enter inside a line that shares its block", u"ab\r\ncd\r\nef", 4, 4,
       [](auto& box) { Key(box, Qt::Key_Return); }, u"ab\r\nc\r\nd\r\nef"},
      {"Backspace joins lines that share a block", u"ab\r\ncd\r\n", 3, 3,
       [](auto& box) { Key(box, Qt::Key_Backspace); }, u"abcd\r\n"},
      {"Delete joins the next line of a block", u"ab\r\ncd", 2, 2,
       [](auto& box) { Key(box, Qt::Key_Delete); }, u"abcd"},
      {"cutting lines of a block and pasting them at its end", u"ab\r\ncd\r\nef", 1, 7,
       [](auto& box) {
         box.cut();
         EXPECT_EQ(QApplication::clipboard()->text(), u"b\ncd\ne"_s);
         box.moveCursor(QTextCursor::End);
         box.paste();
       },
       u"afb\r\ncd\r\ne"},
      {"cutting lines and pasting them elsewhere", u"ab\ncd\nef", 1, 4,
       [](auto& box) {
         box.cut();
         box.moveCursor(QTextCursor::End);
         box.paste();
       },
       u"ad\nefb\r\nc"},
  };
  qtPlatform::TextBox box;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    box.SetText(c.set);
    EXPECT_FALSE(box.document()->isUndoAvailable());
    Select(box, c.anchor, c.position);
    c.edit(box);
    EXPECT_EQ(box.Text(), c.expected) << Shown(box.Text());
    while (box.document()->isUndoAvailable()) {
      box.undo();
    }
    EXPECT_EQ(box.Text(), c.set) << Shown(box.Text());
    while (box.document()->isRedoAvailable()) {
      box.redo();
    }
    EXPECT_EQ(box.Text(), c.expected) << Shown(box.Text());
  }
}

// Short lines share blocks, few of them, and none so large that laying it out
// again after an edit would be felt.
TEST(TextBoxText, ShortLinesShareBlocksOfFewLines) {
  std::u16string text;
  for (int i = 0; i < 1000; ++i) {
    text += u"ぽこぺん\r\n";
  }
  qtPlatform::TextBox box;
  box.SetText(text);
  EXPECT_LE(box.blockCount(), 1000 / 16);
  for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next()) {
    EXPECT_LE(block.text().count(QChar::LineSeparator), 32);
  }
}

// The text's cursor position as line and column, counting both kinds of break.
std::pair<int, int> LineAndColumn(const qtPlatform::TextBox& box) {
  QTextCursor before = box.textCursor();
  before.setPosition(0, QTextCursor::KeepAnchor);
  const QString text = before.selectedText();
  const qsizetype lineStart = std::max(text.lastIndexOf(QChar::LineSeparator),
                                       text.lastIndexOf(QChar::ParagraphSeparator)) +
                              1;
  const auto lines = text.count(QChar::LineSeparator) + text.count(QChar::ParagraphSeparator);
  return {static_cast<int>(lines), static_cast<int>(text.size() - lineStart)};
}

TEST(TextBoxText, LinesShowOnePerRowAndTheCursorKeysGoByThem) {
  qtPlatform::TextBox box;
  box.resize(300, 200);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  std::u16string text;
  for (int i = 0; i < 200; ++i) {
    text += i % 50 == 49 ? u"行\n" : u"行ぽこ\r\n";
  }
  box.SetText(text);
  const int rowHeight = box.fontMetrics().lineSpacing();
  const int firstRow = box.cursorRect().top();
  const struct {
    Qt::Key key;
    int line;
    int column;
  } steps[] = {
      {Qt::Key_Down, 1, 0}, {Qt::Key_Down, 2, 0}, {Qt::Key_End, 2, 3}, {Qt::Key_Right, 3, 0},
      {Qt::Key_Left, 2, 3}, {Qt::Key_Home, 2, 0}, {Qt::Key_Up, 1, 0},
  };
  for (const auto& step : steps) {
    Key(box, step.key);
    EXPECT_EQ(LineAndColumn(box), std::make_pair(step.line, step.column)) << step.key;
    EXPECT_EQ(box.cursorRect().top() - firstRow, step.line * rowHeight) << step.key;
  }
  // A page is the rows the box shows, and the cursor stays in view. The scroll
  // bar counts every line, those not yet shown too.
  const int rows = box.viewport()->height() / rowHeight;
  for (int page = 1; page <= 30; ++page) {
    Key(box, Qt::Key_PageDown);
    const int line = LineAndColumn(box).first;
    EXPECT_GE(box.verticalScrollBar()->maximum(), 200 - rows) << page;
    EXPECT_LE(box.verticalScrollBar()->value(), line) << page;
    EXPECT_GE(line, std::min(1 + page * (rows - 1), 199)) << page;
    EXPECT_LE(line, 1 + page * (rows + 1)) << page;
    EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect())) << page;
  }
  // A new width has Qt lay the text out anew.
  box.resize(320, 200);
  EXPECT_GE(box.verticalScrollBar()->maximum(), 200 - rows);
}

TEST(TextBoxText, ATripleClickSelectsTheLineUnderThePointer) {
  qtPlatform::TextBox box;
  box.resize(300, 200);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  box.SetText(u"ab\r\ncd\r\nef\r\n");
  Select(box, 4, 4);
  const QPoint point = box.cursorRect().center();
  QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, point);
  QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, point);
  EXPECT_EQ(Copied(box), u"cd\n"_s);
}

TEST(ProgressDisplay, ShowsOnlyForLongWorkAndCannotBeDismissed) {
  QWidget owner;
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
  {
    constexpr int kAnHour = 3600 * 1000;
    qtPlatform::ProgressDisplay quick(owner, u"変換 - ぽこぺん", u"変換しています...", kAnHour);
    quick.Part(0, 100)(1, 2);
    EXPECT_EQ(quick.Dialog(), nullptr);
  }
  qtPlatform::ProgressDisplay slow(owner, u"変換 - ぽこぺん", u"変換しています...", 0);
  const textFiles::Progress report = slow.Part(50, 100);
  report(4, 4);
  EXPECT_EQ(slow.Dialog(), nullptr) << "nothing is left to wait for";
  report(1, 4);
  QProgressDialog* dialog = slow.Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->value(), 62);
  EXPECT_EQ(dialog->parentWidget(), &owner);
  EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
  EXPECT_EQ(dialog->windowTitle(), u"変換 - ぽこぺん"_s);
  EXPECT_EQ(dialog->labelText(), u"変換しています..."_s);
  EXPECT_TRUE(dialog->findChildren<QPushButton*>().isEmpty());
  // Wide enough for the desktop to show its whole title.
  EXPECT_GE(dialog->width(), qtPlatform::WidthForTitle(*dialog));

  QTest::keyClick(dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog->close());
  report(3, 4);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->value(), 87);
}

}  // namespace
