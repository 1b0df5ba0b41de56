#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "fakeServices.h"
#include "frmMain.h"
#include "mdlFlexConv.h"
#include "modalWatcher.h"
#include "qtPlatform.h"

using namespace Qt::Literals::StringLiterals;

namespace {

int Pixels(double twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440));
}

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  QRect Expected(double left, double top, double width, double height) const {
    const double x = window.logicalDpiX();
    const double y = window.logicalDpiY();
    return {Pixels(left, x), Pixels(top, y), Pixels(width, x), Pixels(height, y)};
  }

  // Resizes the window so that its client area gets the given size.
  void ResizeClient(int width, int height) {
    window.resize(width, height + window.menuBar()->height());
    const bool resized =
        QTest::qWaitFor([&] { return window.client.size() == QSize(width, height); }, 2000);
    ASSERT_TRUE(resized) << window.client.width() << "x" << window.client.height();
  }

  FakeServices services;
  frmMain window{services};
};

TEST_F(WindowTest, OpensInItsLayoutAtStart) {
  EXPECT_EQ(window.windowTitle(), u"ぽこぺん"_s);
  EXPECT_EQ(window.centralWidget(), &window.client);
  const QRect client = Expected(0, 0, 7908, 5364);
  EXPECT_EQ(window.client.size(), client.size());

  EXPECT_EQ(window.lblMain[0].text(), u"素テキスト(&S):"_s);
  EXPECT_EQ(window.lblMain[1].text(), u"ぽこる語テキスト(&E):"_s);
  EXPECT_EQ(window.lblMain[0].buddy(), &window.txtSource);
  EXPECT_EQ(window.lblMain[1].buddy(), &window.txtPokoryun);
  EXPECT_EQ(window.lblMain[0].geometry(), Expected(60, 120, 1584, 324));
  EXPECT_EQ(window.lblMain[1].geometry(), Expected(60, 2580, 2148, 324));
  EXPECT_TRUE(window.txtSource.toPlainText().isEmpty());
  EXPECT_TRUE(window.txtPokoryun.toPlainText().isEmpty());

  // The first showing already stretched both boxes to the client area.
  const QRect source = Expected(0, 480, 7908, 1992);
  const QRect converted = Expected(0, 2940, 7908, 0);
  EXPECT_EQ(window.txtSource.geometry(), QRect(0, source.y(), client.width(), source.height()));
  EXPECT_EQ(window.txtPokoryun.geometry(),
            QRect(0, converted.y(), client.width(), client.height() - converted.y()));
}

// The designed size unless the free area of the screen is smaller, as at a
// scale factor of 2 on a small screen (CTest runs this so too).
TEST_F(WindowTest, FitsTheFreeAreaOfItsScreen) {
  const QRect free = window.screen()->availableGeometry();
  EXPECT_TRUE(free.contains(window.frameGeometry()))
      << window.frameGeometry().width() << "x" << window.frameGeometry().height() << " in "
      << free.width() << "x" << free.height();
}

// Fixed pitch as Japanese fonts have it: every half-width character the same
// width, and full-width characters twice that.
bool IsFixedPitch(const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal half = metrics.horizontalAdvance(u'i');
  for (const QChar c : u"W.M1 i"_s) {
    if (std::abs(metrics.horizontalAdvance(c) - half) > 0.01) {
      return false;
    }
  }
  for (const QChar c : u"ぽ語Ｗ"_s) {
    if (std::abs(metrics.horizontalAdvance(c) - 2 * half) > 0.01) {
      return false;
    }
  }
  return true;
}

TEST_F(WindowTest, BoxesUseAFixedPitchFontAndLabelsAProportionalOne) {
  for (const qtPlatform::TextBox* box : {&window.txtSource, &window.txtPokoryun}) {
    const QFontInfo font(box->font());
    EXPECT_TRUE(IsFixedPitch(box->font())) << font.family().toStdString();
    EXPECT_TRUE(
        QStringList({u"ＭＳ ゴシック"_s, u"MS Gothic"_s, u"IPAGothic"_s}).contains(font.family()))
        << font.family().toStdString();
    EXPECT_DOUBLE_EQ(box->font().pointSizeF(), 10.2);
    EXPECT_EQ(box->font().weight(), QFont::Normal);
  }
  const QFontInfo label(window.lblMain[0].font());
  EXPECT_FALSE(IsFixedPitch(window.lblMain[0].font()));
  EXPECT_TRUE(QStringList({u"ＭＳ Ｐゴシック"_s, u"MS PGothic"_s, u"IPAPGothic"_s})
                  .contains(label.family()))
      << label.family().toStdString();
}

TEST_F(WindowTest, TabOrderAndLabelAccessKeys) {
  EXPECT_EQ(QApplication::focusWidget(), &window.txtSource);
  QTest::keyClick(&window.txtSource, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), &window.txtPokoryun);
  QTest::keyClick(&window.txtPokoryun, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), &window.txtSource);

  QTest::keyClick(&window.txtSource, Qt::Key_E, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), &window.txtPokoryun);
  QTest::keyClick(&window.txtPokoryun, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), &window.txtSource);
}

// One menu entry as shown: caption, shortcut, and the mark ('-' for none).
std::string Describe(const QAction& item) {
  if (item.isSeparator()) {
    return "---";
  }
  const char mark = !item.isCheckable() ? '-' : item.isChecked() ? 'X' : ' ';
  return item.text().toStdString() + "|" + item.shortcut().toString().toStdString() + "|" + mark +
         (item.isEnabled() ? "" : "|disabled");
}

std::vector<std::string> MenuTree(const QMenuBar& bar) {
  std::vector<std::string> tree;
  for (const QAction* top : bar.actions()) {
    tree.push_back(Describe(*top));
    for (const QAction* item : top->menu()->actions()) {
      tree.push_back("  " + Describe(*item));
    }
  }
  return tree;
}

TEST_F(WindowTest, MenuTreeAtStart) {
  const std::vector<std::string> expected{
      "ファイル(&P)||-",
      "  素ファイルの読み込み(&O)...|Ctrl+O|-",
      "  ぽこる語テキストの保存(&S)...|Ctrl+S|-",
      "  ---",
      "  終了(&X)||-",
      "変換(&C)||-",
      "  ぽこる語に変換(&C)|Ctrl+E|-",
      "オプション(&O)||-",
      "  標準ぽこる語(&N)|F2|X",
      "  元気なぽこる語(&F)|F3| ",
      "  お悩みぽこる語(&N)|F4| ",
      "  ぷちこにゅ(&P)|F5| ",
      "  でじこにょ(&D)|F6| ",
      "  ぴよこぴょ(&A)|F7| ",
      "  ---",
      "  \"ぽこる\"も変換(&E)|| ",
      "  一人称も変換(&I)|Ctrl+I|X",
      "  二人称も変換(&Y)|Ctrl+Y|X",
      "  強引に変換(&P)|| ",
      "ヘルプ(&H)||-",
      "  バージョン情報(&A)...||-",
  };
  EXPECT_EQ(MenuTree(*window.menuBar()), expected);
}

TEST_F(WindowTest, WindowIconHasBothImages) {
  const QList<QSize> sizes = window.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

TEST_F(WindowTest, ResizeStretchesTheBoxesBelowTheirTops) {
  const int width = window.client.width();
  const int top = window.txtPokoryun.y();
  const int upperHeight = window.txtSource.height();
  const struct {
    int clientWidth;
    int clientHeight;
    int lowerHeight;  // -1: unchanged
  } steps[] = {
      {width + 200, top + 300, 300}, {width, top + 1, 1},     {width, top, -1},
      {width - 100, top - 40, -1},   {width, top + 500, 500}, {width + 1000, top + 2, 2},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.clientHeight - top);
    const int before = window.txtPokoryun.height();
    ResizeClient(step.clientWidth, step.clientHeight);
    EXPECT_EQ(window.txtSource.width(), step.clientWidth);
    EXPECT_EQ(window.txtPokoryun.width(), step.clientWidth);
    EXPECT_EQ(window.txtPokoryun.height(), step.lowerHeight < 0 ? before : step.lowerHeight);
    EXPECT_EQ(window.txtSource.height(), upperHeight);
    EXPECT_EQ(window.txtSource.pos(), QPoint(0, Expected(0, 480, 0, 0).y()));
    EXPECT_EQ(window.txtPokoryun.pos(), QPoint(0, top));
  }
}

TEST_F(WindowTest, ClientAreaOfNoWidthGivesBoxesNoWidth) {
  window.client.resize(0, window.client.height());
  EXPECT_EQ(window.txtSource.width(), 0);
  EXPECT_EQ(window.txtPokoryun.width(), 0);
}

TEST_F(WindowTest, MinimizedChangesNothingAndRestoringAppliesTheRule) {
  const QRect upper = window.txtSource.geometry();
  const QRect lower = window.txtPokoryun.geometry();
  window.setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(window.isMinimized());
  const QSize restored(window.client.width() + 60, window.client.height() + 80);
  window.resize(restored.width(), restored.height() + window.menuBar()->height());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.client.size() == restored; }, 2000));
  window.Form_Resize();
  EXPECT_EQ(window.txtSource.geometry(), upper);
  EXPECT_EQ(window.txtPokoryun.geometry(), lower);

  window.setWindowState(Qt::WindowNoState);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return window.txtSource.width() == window.client.width(); }, 2000));
  EXPECT_EQ(window.txtSource.width(), window.client.width());
  EXPECT_EQ(window.txtPokoryun.width(), window.client.width());
  EXPECT_EQ(window.txtPokoryun.height(), window.client.height() - lower.y());
  EXPECT_EQ(window.txtSource.height(), upper.height());
}

// A step of a menu sequence: a key pressed with the focus in a text box, or a
// click on an Options item (style index, or 10 + flag index).
struct Key {
  QKeyCombination combination;
};
struct Click {
  int item;
};
using Step = std::variant<Key, Click>;
constexpr int kFlag = 10;

void Apply(frmMain& window, QWidget& focus, const Step& step) {
  if (const Key* key = std::get_if<Key>(&step)) {
    QTest::keyClick(&focus, key->combination.key(), key->combination.keyboardModifiers());
    return;
  }
  const int item = std::get<Click>(step).item;
  if (item >= kFlag) {
    window.mnuOptConv[static_cast<std::size_t>(item - kFlag)].trigger();
  } else {
    window.mnuOptDepth[static_cast<std::size_t>(item)].trigger();
  }
}

constexpr std::array<bool, 4> kMarksAtStart{false, true, true, false};

// The language each style's save and convert commands name.
const QString kLanguage[] = {u"ぽこる語"_s,   u"ぽこる語"_s,   u"ぽこる語"_s,
                             u"ぷちこ言葉"_s, u"でじこ言葉"_s, u"ぴよこ言葉"_s};

TEST(MenuSequences, StylesAndFlagsFromKeysAndClicks) {
  const Key f2{Qt::Key_F2}, f3{Qt::Key_F3}, f4{Qt::Key_F4}, f5{Qt::Key_F5}, f6{Qt::Key_F6},
      f7{Qt::Key_F7};
  const Key ctrlI{Qt::CTRL | Qt::Key_I}, ctrlY{Qt::CTRL | Qt::Key_Y};
  const struct {
    const char* name;
    std::vector<Step> steps;
    int style;
    std::array<bool, 4> marks;
  } cases[] = {
      {"nothing", {}, 0, kMarksAtStart},
      {"F3", {f3}, 1, kMarksAtStart},
      {"F4", {f4}, 2, kMarksAtStart},
      {"F5", {f5}, 3, kMarksAtStart},
      {"F6", {f6}, 4, kMarksAtStart},
      {"F7", {f7}, 5, kMarksAtStart},
      {"F6 then F4 renames back", {f6, f4}, 2, kMarksAtStart},
      {"F7 then F2", {f7, f2}, 0, kMarksAtStart},
      {"the checked style stays checked", {f2, Click{0}, Click{0}}, 0, kMarksAtStart},
      {"a checked dialect stays checked", {f6, Click{4}, f6}, 4, kMarksAtStart},
      {"flags keep their marks through a dialect",
       {Click{kFlag + 1}, f6, f3},
       1,
       {false, false, true, false}},
      {"a flag clicked once", {Click{kFlag + 0}}, 0, {true, true, true, false}},
      {"a flag clicked twice", {Click{kFlag + 3}, Click{kFlag + 3}}, 0, kMarksAtStart},
      {"Ctrl+I and Ctrl+Y toggle", {ctrlI, ctrlY}, 0, {false, false, false, false}},
      {"Ctrl+Y twice", {ctrlY, ctrlY}, 0, kMarksAtStart},
      {"Ctrl+I and Ctrl+Y do nothing while disabled", {f5, ctrlI, ctrlY}, 3, kMarksAtStart},
      {"強引に変換 still toggles in a dialect",
       {f5, Click{kFlag + 3}},
       3,
       {false, true, true, true}},
      {"disabled marks show again", {f5, Click{kFlag + 3}, f2}, 0, {false, true, true, true}},
  };
  for (const auto& c : cases) {
    for (const bool inLowerBox : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (inLowerBox ? " (lower box)" : " (upper box)"));
      FakeServices services;
      frmMain window(services);
      window.show();
      window.activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
      QWidget& focus = inLowerBox ? static_cast<QWidget&>(window.txtPokoryun) : window.txtSource;
      focus.setFocus();
      for (const Step& step : c.steps) {
        Apply(window, focus, step);
      }
      std::vector<int> styles;
      for (int i = 0; i < 6; ++i) {
        if (window.mnuOptDepth[static_cast<std::size_t>(i)].isChecked()) {
          styles.push_back(i);
        }
      }
      EXPECT_EQ(styles, std::vector<int>{c.style});
      EXPECT_EQ(window.SpeechStyle(), c.style);
      for (int k = 0; k < 4; ++k) {
        const auto at = static_cast<std::size_t>(k);
        EXPECT_EQ(window.ConversionFlag(k), c.marks[at]) << "flag " << k;
        EXPECT_EQ(window.mnuOptConv[at].isEnabled(), c.style < 3 || k == 3) << "flag " << k;
      }
      const QString& language = kLanguage[c.style];
      EXPECT_EQ(window.mnuFileSave.text(), language + u"テキストの保存(&S)..."_s);
      EXPECT_EQ(window.mnuConvExec.text(), language + u"に変換(&C)"_s);
      EXPECT_EQ(window.lblMain[1].text(), u"ぽこる語テキスト(&E):"_s);
      EXPECT_EQ(window.windowTitle(), u"ぽこぺん"_s);
      EXPECT_TRUE(window.txtSource.toPlainText().isEmpty());
      EXPECT_TRUE(window.txtPokoryun.toPlainText().isEmpty());
    }
  }
}

TEST_F(WindowTest, StyleWithNoCheckedItemReadsAsZero) {
  window.mnuOptDepth[0].setChecked(false);
  EXPECT_EQ(window.SpeechStyle(), 0);
  window.mnuOptDepth[4].setChecked(true);
  window.mnuOptDepth[2].setChecked(true);
  EXPECT_EQ(window.SpeechStyle(), 2);
}

TEST_F(WindowTest, CtrlYInATextBoxIsTheMenusNotRedo) {
  for (qtPlatform::TextBox* box : {&window.txtSource, &window.txtPokoryun}) {
    SCOPED_TRACE(box == &window.txtSource ? "upper box" : "lower box");
    box->setFocus();
    box->clear();
    QTest::keyClicks(box, u"ab"_s);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    const QString undone = box->toPlainText();
    ASSERT_NE(undone, u"ab"_s);
    const bool mark = window.ConversionFlag(2);
    QTest::keyClick(box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window.ConversionFlag(2), !mark);
    EXPECT_EQ(box->toPlainText(), undone);

    // Disabled, the key does nothing at all: no mark, no redo.
    window.mnuOptDepth[3].trigger();
    QTest::keyClick(box, Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(window.ConversionFlag(2), !mark);
    EXPECT_TRUE(window.ConversionFlag(1));
    EXPECT_EQ(box->toPlainText(), undone);
    window.mnuOptDepth[0].trigger();
  }
}

TEST_F(WindowTest, FileShortcutsReachTheirItemsFromEitherBox) {
  QSignalSpy opened(&window.mnuFileOpen, &QAction::triggered);
  QSignalSpy saved(&window.mnuFileSave, &QAction::triggered);
  for (qtPlatform::TextBox* box : {&window.txtSource, &window.txtPokoryun}) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(box->toPlainText().isEmpty());
  }
  EXPECT_EQ(opened.count(), 2);
  EXPECT_EQ(saved.count(), 2);
}

TEST_F(WindowTest, CtrlEConvertsFromEitherBox) {
  for (qtPlatform::TextBox* box : {&window.txtSource, &window.txtPokoryun}) {
    window.SetSourceText(u"わたしはあなたが好きです。");
    window.txtPokoryun.SetText(u"前の結果");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(window.ConvertedText(), u"ぽこりゅんはダ～リンが好きだりゅん。");
    EXPECT_EQ(window.txtSource.Text(), u"わたしはあなたが好きです。");
  }
}

TEST_F(WindowTest, OptionsMenuByItsAccessKeys) {
  window.txtSource.setFocus();
  QTest::keyClick(&window.txtSource, Qt::Key_O, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_I);
  EXPECT_FALSE(window.ConversionFlag(1));

  // N is shared by two styles: it moves between them, Enter chooses.
  QTest::keyClick(&window.txtSource, Qt::Key_O, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_EQ(menu, &window.mnuOpt);
  const auto activeStyle = [&] {
    for (int i = 0; i < 6; ++i) {
      if (menu->activeAction() == &window.mnuOptDepth[static_cast<std::size_t>(i)]) {
        return i;
      }
    }
    return -1;
  };
  QTest::keyClick(menu, Qt::Key_N);
  const int first = activeStyle();
  QTest::keyClick(menu, Qt::Key_N);
  const int second = activeStyle();
  EXPECT_TRUE((first == 0 && second == 2) || (first == 2 && second == 0)) << first << second;
  EXPECT_EQ(window.SpeechStyle(), 0);
  QTest::keyClick(menu, Qt::Key_Return);
  EXPECT_EQ(window.SpeechStyle(), second);
  EXPECT_FALSE(window.ConversionFlag(1));
}

TEST(Convert, UsesTheCheckedStyleAndFlags) {
  // flags: the marks wanted on the four flag items before the style is chosen.
  const struct {
    int style;
    std::array<bool, 4> flags;
    std::u16string source;
    std::u16string expected;
  } cases[] = {
      {0, kMarksAtStart, u"わたしはあなたが好きです。", u"ぽこりゅんはダ～リンが好きだりゅん。"},
      {4, {false, true, true, true}, u"そうなのだ", u"そうなんだにょにょ"},
      {3, {false, true, false, false}, u"わたしです。", u"わたしだにゅ。"},
      {5, kMarksAtStart, u"", u""},
      {0, kMarksAtStart, u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    FakeServices services;
    frmMain window(services);
    for (std::size_t k = 0; k < 4; ++k) {
      if (window.ConversionFlag(static_cast<int>(k)) != c.flags[k]) {
        window.mnuOptConv[k].trigger();
      }
    }
    window.mnuOptDepth[static_cast<std::size_t>(c.style)].trigger();
    window.SetSourceText(c.source);
    window.txtPokoryun.SetText(u"前の結果");
    window.mnuConvExec.trigger();
    EXPECT_EQ(window.ConvertedText(), c.expected);
    EXPECT_EQ(window.txtSource.Text(), c.source);
  }
}

TEST(Convert, PassesEveryFlagAndKeepsTheLineBreaks) {
  const std::u16string source =
      u"わたしはあなたが好きです。\r\nそうなのだ。ぽこりゅんです\r\n\r\n"
      u"ぼくはきみのことを知っているのだ、です。\r\n";
  for (int style = 0; style < 6; ++style) {
    for (int bits = 0; bits < 16; ++bits) {
      FakeServices services;
      frmMain window(services);
      std::array<int, 4> engineFlags{};
      for (int k = 0; k < 4; ++k) {
        const bool wanted = (bits >> k & 1) != 0;
        engineFlags[static_cast<std::size_t>(k)] = wanted ? 1 : 0;
        if (window.ConversionFlag(k) != wanted) {
          window.mnuOptConv[static_cast<std::size_t>(k)].trigger();
        }
      }
      window.mnuOptDepth[static_cast<std::size_t>(style)].trigger();
      window.SetSourceText(source);
      window.mnuConvExec_Click();
      EXPECT_EQ(window.ConvertedText(),
                style >= 3
                    ? mdlFlexConv::ConvertDialect(source, style - 3, engineFlags[3])
                    : mdlFlexConv::ConvertPersona(source, style, engineFlags[0], engineFlags[1],
                                                  engineFlags[2], engineFlags[3]))
          << "style " << style << " flags " << bits;
    }
  }
}

std::u16string FarewellFor(int style) {
  FakeServices services;
  services.boxAnswers = {platform::kAnswerNo};
  frmMain window(services);
  window.mnuOptDepth[static_cast<std::size_t>(style)].trigger();
  window.mnuFileEnd.trigger();
  EXPECT_EQ(services.boxes.size(), 1U);
  EXPECT_EQ(services.boxes.at(0).style, platform::kMsgBoxQuestionYesNo);
  EXPECT_EQ(services.boxes.at(0).title, services.boxes.at(0).prompt);
  return services.boxes.at(0).prompt;
}

TEST(CloseQuestion, SpeaksInTheStylesVoice) {
  const std::u16string expected[] = {u"ばいばいりゅん?", u"ばいばいりゅん?", u"ばいばいりゅん?",
                                     u"ばいばいにゅ?",   u"ばいばいにゅ?",   u"ばいばいぴょ?"};
  for (int style = 0; style < 6; ++style) {
    EXPECT_EQ(FarewellFor(style), expected[style]) << "style " << style;
  }
}

TEST_F(WindowTest, EveryWayOfClosingAsksOnceAndNoKeepsEverything) {
  const struct {
    const char* name;
    std::function<void(frmMain&)> close;
  } ways[] = {
      {"終了", [](frmMain& w) { w.mnuFileEnd.trigger(); }},
      {"close button", [](frmMain& w) { w.windowHandle()->close(); }},
      {"close event",
       [](frmMain& w) {
         QCloseEvent event;
         QApplication::sendEvent(&w, &event);
       }},
  };
  window.mnuOptDepth[4].trigger();
  window.mnuOptConv[3].trigger();
  window.SetSourceText(u"そうなのだ");
  window.mnuConvExec.trigger();
  const std::u16string converted = window.ConvertedText();
  const std::vector<std::string> menus = MenuTree(*window.menuBar());
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    services.boxes.clear();
    services.boxAnswers = {platform::kAnswerNo};
    way.close(window);
    ASSERT_EQ(services.boxes.size(), 1U);
    EXPECT_EQ(services.boxes[0].prompt, u"ばいばいにゅ?");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(services.endProgramCalls, 0);
    EXPECT_EQ(window.txtSource.Text(), u"そうなのだ");
    EXPECT_EQ(window.ConvertedText(), converted);
    EXPECT_EQ(MenuTree(*window.menuBar()), menus);
  }
}

TEST(CloseQuestion, YesEndsTheProgramWithoutAnotherQuestion) {
  const struct {
    const char* name;
    std::function<void(frmMain&)> close;
  } ways[] = {
      {"終了", [](frmMain& w) { w.mnuFileEnd.trigger(); }},
      {"close button", [](frmMain& w) { w.windowHandle()->close(); }},
      {"session end", [](frmMain& w) { w.QuerySessionEnd(); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    FakeServices services;
    frmMain window(services);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    services.boxAnswers = {platform::kAnswerNo, platform::kAnswerYes};
    way.close(window);
    EXPECT_EQ(services.endProgramCalls, 0);
    way.close(window);
    EXPECT_EQ(services.boxes.size(), 2U);
    EXPECT_EQ(services.endProgramCalls, 1);
  }
}

TEST(CloseQuestion, SessionEndRefusedIsCancelled) {
  FakeServices services;
  services.boxAnswers = {platform::kAnswerNo};
  frmMain window(services);
  EXPECT_TRUE(window.QuerySessionEnd());
  EXPECT_EQ(services.endProgramCalls, 0);
  ASSERT_EQ(services.boxes.size(), 1U);
  EXPECT_EQ(services.boxes[0].prompt, u"ばいばいりゅん?");
}

TEST(CloseQuestion, RealMessageBoxAnsweredNoKeepsTheWindow) {
  qtPlatform::QtServices services;
  frmMain window(services);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.mnuOptDepth[5].trigger();
  QString text;
  QString title;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  ModalWatcher watcher([&](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (box == nullptr) {
      return false;
    }
    text = box->text();
    title = box->windowTitle();
    defaultButton = box->standardButton(box->defaultButton());
    box->button(QMessageBox::No)->click();
    return true;
  });
  window.mnuFileEnd.trigger();
  EXPECT_TRUE(watcher.Done());
  EXPECT_EQ(text, u"ばいばいぴょ?"_s);
  EXPECT_EQ(title, u"ばいばいぴょ?"_s);
  EXPECT_EQ(defaultButton, QMessageBox::Yes);
  EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowTest, AboutBoxShowsNameVersionDescriptionAndCredit) {
  window.mnuOptDepth[5].trigger();
  window.mnuHelpAbout.trigger();
  ASSERT_EQ(services.boxes.size(), 1U);
  EXPECT_EQ(services.boxes[0].prompt,
            u"ぽこぺん 1.00.2000\r\n"
            u"\r\n"
            u"translate Japanese into Pokoryun and\r\n"
            u"Charats' -Nyu -Nyo -Pyo languages \r\n"
            u"\r\n"
            u"Copyright (C) 2026 ぽこぺん開発チーム");
  EXPECT_EQ(services.boxes[0].style, platform::kMsgBoxOkOnly);
  EXPECT_EQ(services.boxes[0].title, u"ぽこぺんのバージョン情報");
  EXPECT_EQ(services.endProgramCalls, 0);
}

}  // namespace
