#include "frmMain.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QMenuBar>
#include <QSessionManager>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <vector>

#include "mdlFlexConv.h"
#include "mdlPokoConv.h"
#include "pokopenVersion.h"
#include "progressDisplay.h"
#include "qtApplication.h"
#include "qtPlatform.h"
#include "versionText.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr float kClientWidth = 7908;
constexpr float kClientHeight = 5364;
constexpr double kFontPointSize = 10.2;

constexpr qtPlatform::Twips kSourceLabel{60, 120, 1584, 324};
constexpr qtPlatform::Twips kSourceBox{0, 480, 7752, 1992};
constexpr qtPlatform::Twips kConvertedLabel{60, 2580, 2148, 324};
constexpr qtPlatform::Twips kConvertedBox{0, 2940, 7752, 2112};

constexpr int kForceFlag = 3;

bool IsPersonaStyle(int style) {
  return !mdlFlexConv::IsDialect(mdlFlexConv::StyleAt(style));
}

// The language a style speaks, as the save and convert commands name it.
std::u16string_view CaptionPrefix(int style) {
  switch (style) {
    case 3:
      return u"ぷちこ言葉";
    case 4:
      return u"でじこ言葉";
    case 5:
      return u"ぴよこ言葉";
    default:
      return u"ぽこる語";
  }
}

// The close question in the style's voice; でじこ has no にょ form of it.
std::u16string_view FarewellText(int style) {
  switch (style) {
    case 3:
    case 4:
      return u"ばいばいにゅ?";
    case 5:
      return u"ばいばいぴょ?";
    default:
      return u"ばいばいりゅん?";
  }
}

std::u16string JoinLines(std::initializer_list<std::u16string_view> lines) {
  std::u16string text;
  bool first = true;
  for (const std::u16string_view line : lines) {
    if (!first) {
      text += u"\r\n";
    }
    text += line;
    first = false;
  }
  return text;
}

std::u16string AboutText() {
  const std::u16string title =
      std::u16string(mdlPokoConv::kProgramName) + u" " + pokopenVersion::ProgramVersionText();
  const std::u16string credit = std::u16string(u"Copyright (C) ") + pokopenVersion::kCopyrightYear +
                                u" " + pokopenVersion::kAuthorName;
  return JoinLines({title, u"", u"translate Japanese into Pokoryun and",
                    u"Charats' -Nyu -Nyo -Pyo languages ", u"", credit});
}

QFont JapaneseFont(const QStringList& families, QFont::StyleHint hint) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(hint);
  font.setFixedPitch(hint == QFont::Monospace);
  font.setPointSizeF(kFontPointSize);
  font.setWeight(QFont::Normal);
  return font;
}

// ＭＳ ゴシック where it is installed, else a Japanese fixed-pitch substitute.
QFont TextBoxFont() {
  return JapaneseFont({u"ＭＳ ゴシック"_s, u"MS Gothic"_s, u"IPAGothic"_s, u"monospace"_s},
                      QFont::Monospace);
}

// ＭＳ Ｐゴシック where it is installed, else a Japanese proportional substitute.
QFont LabelFont() {
  return JapaneseFont({u"ＭＳ Ｐゴシック"_s, u"MS PGothic"_s, u"IPAPGothic"_s, u"sans-serif"_s},
                      QFont::SansSerif);
}

constexpr std::u16string_view kConvertTitle = u"変換 - ぽこぺん";
constexpr std::u16string_view kConvertLabel = u"変換しています...";

}  // namespace

frmMain::frmMain(platform::Services& services, QWidget* parent)
    : QMainWindow(parent), services_(services), shortcutKeys_(ItemsWithShortcuts(), this) {
  setWindowTitle(qtPlatform::ToQString(mdlPokoConv::kProgramName));
  setWindowIcon(qtPlatform::ProgramIcon());
  SetUpClientArea();
  SetUpMenus();
  SetUpShortcutKeys();
  SizeClientArea();
#if QT_CONFIG(sessionmanager)
  connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &frmMain::Session_CommitData,
          Qt::DirectConnection);
#endif
}

void frmMain::SetUpClientArea() {
  setCentralWidget(&client);
  client.setFont(LabelFont());
  client.installEventFilter(this);

  const std::array<qtPlatform::TextBox*, 2> boxes{&txtSource, &txtPokoryun};
  const std::array<QString, 2> captions{u"素テキスト(&S):"_s, u"ぽこる語テキスト(&E):"_s};
  const std::array<qtPlatform::Twips, 2> labelPlaces{kSourceLabel, kConvertedLabel};
  const std::array<qtPlatform::Twips, 2> boxPlaces{kSourceBox, kConvertedBox};
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    lblMain[i].setParent(&client);
    lblMain[i].setText(captions[i]);
    lblMain[i].setBuddy(boxes[i]);
    qtPlatform::PlaceInTwips(lblMain[i], labelPlaces[i]);

    boxes[i]->setParent(&client);
    boxes[i]->setFont(TextBoxFont());
    qtPlatform::PlaceInTwips(*boxes[i], boxPlaces[i]);
  }
  setTabOrder(&txtSource, &txtPokoryun);
  txtSource.setFocus();
}

void frmMain::SetUpMenus() {
  mnuFile.setTitle(u"ファイル(&P)"_s);
  mnuFileOpen.setText(u"素ファイルの読み込み(&O)..."_s);
  mnuFileOpen.setShortcut(Qt::CTRL | Qt::Key_O);
  mnuFileSave.setShortcut(Qt::CTRL | Qt::Key_S);
  mnuFileSeparate.setSeparator(true);
  mnuFileEnd.setText(u"終了(&X)"_s);
  mnuFile.addActions({&mnuFileOpen, &mnuFileSave, &mnuFileSeparate, &mnuFileEnd});

  mnuConv.setTitle(u"変換(&C)"_s);
  mnuConvExec.setShortcut(Qt::CTRL | Qt::Key_E);
  mnuConv.addAction(&mnuConvExec);

  mnuOpt.setTitle(u"オプション(&O)"_s);
  const std::array<QString, 6> styleCaptions{u"標準ぽこる語(&N)"_s,   u"元気なぽこる語(&F)"_s,
                                             u"お悩みぽこる語(&N)"_s, u"ぷちこにゅ(&P)"_s,
                                             u"でじこにょ(&D)"_s,     u"ぴよこぴょ(&A)"_s};
  for (std::size_t i = 0; i < mnuOptDepth.size(); ++i) {
    QAction& item = mnuOptDepth[i];
    item.setText(styleCaptions[i]);
    item.setShortcut(QKeySequence(Qt::Key(Qt::Key_F2 + static_cast<int>(i))));
    item.setCheckable(true);
    item.setChecked(i == 0);
    mnuOpt.addAction(&item);
  }
  mnuOptSeparate.setSeparator(true);
  mnuOpt.addAction(&mnuOptSeparate);
  const std::array<QString, 4> flagCaptions{u"\"ぽこる\"も変換(&E)"_s, u"一人称も変換(&I)"_s,
                                            u"二人称も変換(&Y)"_s, u"強引に変換(&P)"_s};
  for (std::size_t i = 0; i < mnuOptConv.size(); ++i) {
    QAction& item = mnuOptConv[i];
    item.setText(flagCaptions[i]);
    item.setCheckable(true);
    item.setChecked(i == 1 || i == 2);
    mnuOpt.addAction(&item);
  }
  mnuOptConv[1].setShortcut(Qt::CTRL | Qt::Key_I);
  mnuOptConv[2].setShortcut(Qt::CTRL | Qt::Key_Y);

  mnuHelp.setTitle(u"ヘルプ(&H)"_s);
  mnuHelpAbout.setText(u"バージョン情報(&A)..."_s);
  mnuHelp.addAction(&mnuHelpAbout);

  for (QMenu* menu : {&mnuFile, &mnuConv, &mnuOpt, &mnuHelp}) {
    menuBar()->addMenu(menu);
  }
  SetCommandCaptions(0);

  qtPlatform::OnClick(mnuFileOpen, [this] { mnuFileOpen_Click(); });
  qtPlatform::OnClick(mnuFileSave, [this] { mnuFileSave_Click(); });
  qtPlatform::OnClick(mnuFileEnd, [this] { mnuFileEnd_Click(); });
  qtPlatform::OnClick(mnuConvExec, [this] { mnuConvExec_Click(); });
  for (int i = 0; i < static_cast<int>(mnuOptDepth.size()); ++i) {
    qtPlatform::OnClick(mnuOptDepth[static_cast<std::size_t>(i)],
                        [this, i] { mnuOptDepth_Click(i); });
  }
  for (int i = 0; i < static_cast<int>(mnuOptConv.size()); ++i) {
    qtPlatform::OnClick(mnuOptConv[static_cast<std::size_t>(i)],
                        [this, i] { mnuOptConv_Click(i); });
  }
  qtPlatform::OnClick(mnuHelpAbout, [this] { mnuHelpAbout_Click(); });
}

std::vector<const QAction*> frmMain::ItemsWithShortcuts() const {
  std::vector<const QAction*> items{&mnuFileOpen, &mnuFileSave, &mnuConvExec};
  for (const QAction& item : mnuOptDepth) {
    items.push_back(&item);
  }
  for (const QAction& item : mnuOptConv) {
    items.push_back(&item);
  }
  return items;
}

void frmMain::SetUpShortcutKeys() {
  txtSource.installEventFilter(&shortcutKeys_);
  txtPokoryun.installEventFilter(&shortcutKeys_);
}

void frmMain::SizeClientArea() {
  const int width = qtPlatform::TwipsToPixels(kClientWidth, logicalDpiX());
  const int height = qtPlatform::TwipsToPixels(kClientHeight, logicalDpiY());
  const QSize designed(width, height + menuBar()->heightForWidth(width));
  // On a small screen, or a large scale factor, the designed size may not fit
  // beside the desktop's panels: the window then starts as large as fits, its
  // lower box shortened by the resize rule.
  resize(designed.boundedTo(qtPlatform::RoomForWindow(*this)));
}

void frmMain::SetCommandCaptions(int style) {
  const QString prefix = qtPlatform::ToQString(CaptionPrefix(style));
  mnuFileSave.setText(prefix + u"テキストの保存(&S)..."_s);
  mnuConvExec.setText(prefix + u"に変換(&C)"_s);
}

std::int32_t frmMain::WindowHandle() const {
  return qtPlatform::HandleOfWindow(*this);
}

int frmMain::SpeechStyle() const {
  for (std::size_t i = 0; i < mnuOptDepth.size(); ++i) {
    if (mnuOptDepth[i].isChecked()) {
      return static_cast<int>(i);
    }
  }
  return 0;
}

bool frmMain::ConversionFlag(int k) const {
  return mnuOptConv.at(static_cast<std::size_t>(k)).isChecked();
}

void frmMain::mnuFileEnd_Click() {
  close();
}

void frmMain::mnuConvExec_Click() {
  // The dialects read only the force flag; their converter ignores the rest.
  const mdlFlexConv::Flags flags{ConversionFlag(0), ConversionFlag(1), ConversionFlag(2),
                                 ConversionFlag(kForceFlag)};
  mdlFlexConv::Converter converter(mdlFlexConv::StyleAt(SpeechStyle()), flags);
  const mdlPokoConv::HourglassPointer hourglass(services_);
  qtPlatform::ProgressDisplay progress(*this, kConvertTitle, kConvertLabel);
  // The source goes through the converter a piece at a time, straight into
  // the lower box: neither text is ever held whole beside its box.
  qtPlatform::TextBoxFiller result(txtPokoryun);
  std::u16string converted;
  txtSource.ReadText(
      [&](std::u16string_view piece) {
        converter.Push(piece, converted);
        result.Append(converted);
        converted.clear();
      },
      progress.Part(0, 100));
  converter.Finish(converted);
  result.Append(converted);
  result.Finish();
}

void frmMain::mnuOptDepth_Click(int index) {
  for (std::size_t i = 0; i < mnuOptDepth.size(); ++i) {
    mnuOptDepth[i].setChecked(static_cast<int>(i) == index);
  }
  // The dialects know only the forced conversion; the other flags keep their
  // marks while disabled.
  for (QAction& item : mnuOptConv) {
    item.setEnabled(IsPersonaStyle(index));
  }
  mnuOptConv[kForceFlag].setEnabled(true);
  SetCommandCaptions(index);
}

void frmMain::mnuOptConv_Click(int index) {
  QAction& item = mnuOptConv.at(static_cast<std::size_t>(index));
  item.setChecked(!item.isChecked());
}

void frmMain::mnuHelpAbout_Click() {
  const std::u16string title = std::u16string(mdlPokoConv::kProgramName) + u"のバージョン情報";
  services_.MsgBox(AboutText(), platform::kMsgBoxOkOnly, title);
}

void frmMain::Form_Resize() {
  if (isMinimized()) {
    return;
  }
  const qtPlatform::Twips area = qtPlatform::GeometryInTwips(client);
  qtPlatform::SetWidthInTwips(txtSource, area.width);
  qtPlatform::SetWidthInTwips(txtPokoryun, area.width);
  // Strictly less: a client area no taller than the box's top leaves its
  // height alone rather than making it zero or negative.
  const float top = qtPlatform::GeometryInTwips(txtPokoryun).top;
  if (top < area.height) {
    qtPlatform::SetHeightInTwips(txtPokoryun, area.height - top);
  }
}

void frmMain::Form_QueryUnload(bool& cancel, int /*unloadMode*/) {
  const std::u16string_view question = FarewellText(SpeechStyle());
  if (services_.MsgBox(question, platform::kMsgBoxQuestionYesNo, question) == platform::kAnswerNo) {
    cancel = true;
  }
}

void frmMain::Form_Unload() {
  services_.EndProgram();
}

bool frmMain::QuerySessionEnd() {
  bool cancel = false;
  Form_QueryUnload(cancel, kUnloadFromSession);
  if (!cancel) {
    Form_Unload();
  }
  return cancel;
}

void frmMain::Session_CommitData(QSessionManager& manager) {
#if QT_CONFIG(sessionmanager)
  if (!manager.allowsInteraction()) {
    return;
  }
  const bool refused = QuerySessionEnd();
  manager.release();
  if (refused) {
    manager.cancel();
  }
#else
  static_cast<void>(manager);
#endif
}

void frmMain::closeEvent(QCloseEvent* event) {
  bool cancel = false;
  Form_QueryUnload(cancel, event->spontaneous() ? kUnloadFromControlMenu : kUnloadFromCode);
  if (cancel) {
    event->ignore();
    return;
  }
  event->accept();
  Form_Unload();
}

void frmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    Form_Resize();
  }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &client && event->type() == QEvent::Resize) {
    Form_Resize();
  }
  return QMainWindow::eventFilter(watched, event);
}
