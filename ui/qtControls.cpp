#include "qtControls.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <utility>

namespace qtPlatform {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

double DpiX(const QWidget& widget) {
  return widget.logicalDpiX();
}
double DpiY(const QWidget& widget) {
  return widget.logicalDpiY();
}

bool IsEnterKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// What a character of the document stands for where it is not itself, as a
// code unit in its character format. On a block separator, LF marks a lone
// LF. On a U+2028, U+2028 or U+2029 marks that character; an unmarked one is
// a CR LF break. On a U+FFFD, U+FDD0 or U+FDD1 marks that character.
constexpr int kStandsForProperty = QTextFormat::UserProperty;

constexpr char16_t kLineSeparator = u'\u2028';
constexpr char16_t kParagraphSeparator = u'\u2029';
constexpr char16_t kFrameStart = u'\uFDD0';
constexpr char16_t kFrameEnd = u'\uFDD1';
constexpr char16_t kReplacement = u'\uFFFD';

// A block holds at most this many lines set whole, and stops taking lines
// once it holds this many units: an edit lays its block out again.
constexpr int kLinesPerBlock = 32;
constexpr qsizetype kUnitsPerBlock = 2048;

// The pieces ReadText hands over, and those SetText fills in one edit each.
constexpr std::size_t kPieceUnits = std::size_t{64} * 1024;
constexpr std::size_t kFillUnits = std::size_t{256} * 1024;

QTextCharFormat StandingFor(char16_t unit) {
  QTextCharFormat format;
  if (unit != 0) {
    format.setProperty(kStandsForProperty, static_cast<int>(unit));
  }
  return format;
}

char16_t StandsFor(const QTextCharFormat& format) {
  return static_cast<char16_t>(format.intProperty(kStandsForProperty));
}

// The stand-in for a unit that Qt would take for a break or a frame, or for
// one that could itself be taken for a stand-in; 0 for any other unit.
char16_t StandInFor(char16_t unit) {
  switch (unit) {
    case kLineSeparator:
    case kParagraphSeparator:
      return kLineSeparator;
    case kFrameStart:
    case kFrameEnd:
    case kReplacement:
      return kReplacement;
    default:
      return 0;
  }
}

bool HasStandIns(const QString& text) {
  return std::any_of(text.begin(), text.end(),
                     [](QChar unit) { return StandInFor(unit.unicode()) != 0; });
}

bool IsStandIn(char16_t unit) {
  return unit == kLineSeparator || unit == kReplacement;
}

// How each kind of break reads back.
struct BreakText {
  std::u16string_view crLf;
  std::u16string_view loneLf;
};
constexpr BreakText kBreaksAsSet{u"\r\n", u"\n"};
constexpr BreakText kBreaksOnClipboard{u"\n", u"\n"};

// Appends what a stand-in reads back as, given what its format says it
// stands for.
void AppendStandIn(std::u16string& out, char16_t standIn, char16_t standsFor,
                   const BreakText& breaks) {
  if (standIn == kLineSeparator) {
    if (standsFor == kLineSeparator || standsFor == kParagraphSeparator) {
      out += standsFor;
    } else {
      out += breaks.crLf;
    }
    return;
  }
  out += standsFor == kFrameStart || standsFor == kFrameEnd ? standsFor : standIn;
}

// Appends a fragment's units, all of one format, as they read back.
void AppendFragment(std::u16string& out, QStringView text, char16_t standsFor,
                    const BreakText& breaks) {
  const auto* unit = reinterpret_cast<const char16_t*>(text.utf16());
  const auto* end = unit + text.size();
  while (unit != end) {
    const auto* standIn = std::find_if(unit, end, IsStandIn);
    out.append(unit, standIn);
    if (standIn == end) {
      break;
    }
    AppendStandIn(out, *standIn, standsFor, breaks);
    unit = standIn + 1;
  }
}

// Appends the units of a block at `position` that lie between the positions
// `from` and `to`, as they read back. Only a part that holds a stand-in is
// read by fragments, for their formats.
void AppendBlock(std::u16string& out, const QTextBlock& block, int position, int from, int to,
                 const BreakText& breaks) {
  // The raw text: U+00A0 stays, where toPlainText() would make it a blank.
  const QString text = block.text();
  const int begin = std::max(from - position, 0);
  const int end = std::min(to - position, static_cast<int>(text.size()));
  if (begin >= end) {
    return;
  }
  const QStringView part = QStringView(text).sliced(begin, end - begin);
  const auto* units = reinterpret_cast<const char16_t*>(part.utf16());
  if (std::none_of(units, units + part.size(), IsStandIn)) {
    out.append(units, static_cast<std::size_t>(part.size()));
    return;
  }
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    const int start = std::max(fragment.position() - position, begin);
    const int stop = std::min(fragment.position() + fragment.length() - position, end);
    if (start < stop) {
      AppendFragment(out, QStringView(text).sliced(start, stop - start),
                     StandsFor(fragment.charFormat()), breaks);
    }
  }
}

// Hands `take` the document's text from position `from` to `to` as it reads
// back, in pieces, and reports how many blocks have been read after each.
void ReadDocument(const QTextDocument& doc, int from, int to, const BreakText& breaks,
                  const std::function<void(std::u16string_view piece)>& take,
                  const textFiles::Progress& progress) {
  const auto blocks = static_cast<std::uint64_t>(doc.blockCount());
  std::uint64_t blocksRead = 0;
  std::u16string piece;
  QTextBlock block = doc.findBlock(from);
  // Counted along: Qt finds a block's position anew on every call.
  int position = block.position();
  for (; block.isValid(); block = block.next()) {
    AppendBlock(piece, block, position, from, to, breaks);
    const QTextBlock next = block.next();
    position += block.length();
    const bool last = !next.isValid() || position > to;
    // The separator before a block has the format of the block's start.
    if (next.isValid() && position <= to && position > from) {
      piece += StandsFor(next.charFormat()) == kLf ? breaks.loneLf : breaks.crLf;
    }
    ++blocksRead;
    if (piece.size() >= kPieceUnits || last) {
      if (!piece.empty()) {
        take(piece);
      }
      piece.clear();
      if (progress) {
        progress(blocksRead, blocks);
      }
    }
    if (last) {
      break;
    }
  }
}

}  // namespace

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

int WidthForTitle(const QWidget& dialog) {
  constexpr double kTitleFaceScale = 1.25;
  constexpr int kTitleBarLines = 8;  // an icon, three buttons and the margins
  QFont face = dialog.font();
  face.setBold(true);
  face.setPointSizeF(face.pointSizeF() * kTitleFaceScale);
  const QFontMetrics metrics(face);
  return metrics.horizontalAdvance(dialog.windowTitle()) + kTitleBarLines * metrics.height();
}

QSize RoomForWindow(const QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) {
    return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
  }
  const int line = window.fontMetrics().height();
  const int border = line / 2;
  const int titleBar = 3 * line;
  const QSize free = screen->availableGeometry().size();
  return {std::max(0, free.width() - 2 * border), std::max(0, free.height() - titleBar - border)};
}

int TwipsToPixels(double twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

float PixelsToTwips(int pixels, double dpi) {
  return static_cast<float>(pixels * kTwipsPerInch / dpi);
}

void PlaceInTwips(QWidget& widget, const Twips& geometry) {
  widget.setGeometry(
      TwipsToPixels(geometry.left, DpiX(widget)), TwipsToPixels(geometry.top, DpiY(widget)),
      TwipsToPixels(geometry.width, DpiX(widget)), TwipsToPixels(geometry.height, DpiY(widget)));
}

Twips GeometryInTwips(const QWidget& widget) {
  const QRect rect = widget.geometry();
  return {PixelsToTwips(rect.x(), DpiX(widget)), PixelsToTwips(rect.y(), DpiY(widget)),
          PixelsToTwips(rect.width(), DpiX(widget)), PixelsToTwips(rect.height(), DpiY(widget))};
}

void SetWidthInTwips(QWidget& widget, float width) {
  widget.resize(TwipsToPixels(width, DpiX(widget)), widget.height());
}

void SetHeightInTwips(QWidget& widget, float height) {
  widget.resize(widget.width(), TwipsToPixels(height, DpiY(widget)));
}

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
}

std::u16string TextBox::Text(const textFiles::Progress& progress) const {
  const QTextDocument& doc = *document();
  std::u16string text;
  // Room for every break as CR LF, where lines that share a block hold 16
  // units on average.
  const auto units = static_cast<std::size_t>(doc.characterCount());
  text.reserve(units + units / 16 + static_cast<std::size_t>(doc.blockCount()));
  ReadText([&text](std::u16string_view piece) { text += piece; }, progress);
  return text;
}

void TextBox::ReadText(const std::function<void(std::u16string_view piece)>& take,
                       const textFiles::Progress& progress) const {
  const QTextDocument& doc = *document();
  ReadDocument(doc, 0, doc.characterCount() - 1, kBreaksAsSet, take, progress);
}

void TextBox::SetText(std::u16string_view text, const textFiles::Progress& progress) {
  TextBoxFiller filler(*this);
  for (std::size_t done = 0; done < text.size();) {
    const std::size_t count = std::min(kFillUnits, text.size() - done);
    filler.Append(text.substr(done, count));
    done += count;
    if (progress) {
      progress(done, text.size());
    }
  }
  filler.Finish();
}

void TextBox::keyPressEvent(QKeyEvent* event) {
  // Qt would give the new separator the format of the character before it,
  // which may mark a lone LF; Shift+Enter would insert a line separator.
  const Qt::KeyboardModifiers others =
      event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  if (IsEnterKey(event->key()) && others == Qt::NoModifier && !isReadOnly()) {
    QTextCursor cursor = textCursor();
    cursor.insertBlock(cursor.blockFormat(), StandingFor(0));
    setTextCursor(cursor);
    ensureCursorVisible();
    event->accept();
    return;
  }
  const bool command = (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0;
  if (!command && !isReadOnly() && HasStandIns(event->text())) {
    InsertTyped(event->text());
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TextBox::inputMethodEvent(QInputMethodEvent* event) {
  const QString commit = event->commitString();
  if (isReadOnly() || !HasStandIns(commit)) {
    QPlainTextEdit::inputMethodEvent(event);
    return;
  }
  // The committed text goes in as typed; Qt shows what is still being
  // composed.
  QTextCursor cursor = textCursor();
  const int replaced = cursor.position() + event->replacementStart();
  cursor.setPosition(replaced);
  cursor.setPosition(replaced + event->replacementLength(), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  InsertTyped(commit);
  QInputMethodEvent composing(event->preeditString(), event->attributes());
  QPlainTextEdit::inputMethodEvent(&composing);
  event->accept();
}

void TextBox::insertFromMimeData(const QMimeData* source) {
  if (source == nullptr || !source->hasText() || isReadOnly()) {
    return;
  }
  InsertTyped(source->text());
}

QMimeData* TextBox::createMimeDataFromSelection() const {
  const QTextCursor cursor = textCursor();
  std::u16string text;
  ReadDocument(*document(), cursor.selectionStart(), cursor.selectionEnd(), kBreaksOnClipboard,
               [&text](std::u16string_view piece) { text += piece; }, {});
  auto* selection = new QMimeData;
  selection->setText(ToQString(text));
  return selection;
}

void TextBox::InsertTyped(const QString& text) {
  QTextCursor cursor = textCursor();
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  DocumentWriter writer(cursor, DocumentWriter::Breaks::AsTyped);
  writer.Write(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                   static_cast<std::size_t>(text.size())));
  writer.Flush();
  cursor = writer.Cursor();
  cursor.endEditBlock();
  setTextCursor(cursor);
  ensureCursorVisible();
}

void TextBox::mouseDoubleClickEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseDoubleClickEvent(event);
  sinceDoubleClick_.start();
  doubleClickPoint_ = event->position().toPoint();
}

void TextBox::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  const bool tripleClick =
      event->button() == Qt::LeftButton && sinceDoubleClick_.isValid() &&
      !sinceDoubleClick_.hasExpired(QApplication::doubleClickInterval()) &&
      (point - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance();
  QPlainTextEdit::mousePressEvent(event);
  if (tripleClick) {
    sinceDoubleClick_.invalidate();
    SelectLineAt(cursorForPosition(point).position());
  }
}

void TextBox::SelectLineAt(int position) {
  const QTextBlock block = document()->findBlock(position);
  const QString text = block.text();
  const qsizetype offset = position - block.position();
  const qsizetype start = offset == 0 ? 0 : text.lastIndexOf(QChar(kLineSeparator), offset - 1) + 1;
  const qsizetype separator = text.indexOf(QChar(kLineSeparator), offset);
  // With its break, as Qt selects a block with its separator.
  const qsizetype end =
      separator >= 0 ? separator + 1 : text.size() + (block.next().isValid() ? 1 : 0);
  QTextCursor cursor = textCursor();
  cursor.setPosition(block.position() + static_cast<int>(start));
  cursor.setPosition(block.position() + static_cast<int>(end), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
}

void TextBox::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  // A new width has Qt lay out the document anew.
  if (event->size().width() != event->oldSize().width()) {
    CountLinesNotLaidOut();
  }
}

void TextBox::CountLinesNotLaidOut() {
  // One copy of the text: asking each block for its own costs far more when
  // there are many.
  const QString text = document()->toRawText();
  if (!text.contains(QChar(kLineSeparator))) {
    return;
  }
  bool changed = false;
  qsizetype start = 0;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    const qsizetype length = std::min<qsizetype>(block.length() - 1, text.size() - start);
    const auto lines =
        static_cast<int>(QStringView(text).sliced(start, length).count(QChar(kLineSeparator))) + 1;
    // A block laid out counts at least as many lines already.
    if (block.lineCount() < lines) {
      block.setLineCount(lines);
      changed = true;
    }
    start += length + 1;
  }
  if (changed) {
    // The layout tells the box of a new size only when it has laid out.
    QAbstractTextDocumentLayout& layout = *document()->documentLayout();
    emit layout.documentSizeChanged(layout.documentSize());
  }
}

DocumentWriter::DocumentWriter(const QTextCursor& cursor, Breaks breaks)
    : cursor_(cursor), blockFormat_(cursor.blockFormat()), breaks_(breaks) {}

void DocumentWriter::Write(std::u16string_view piece) {
  std::size_t start = 0;  // of the units that go in as they are
  const auto takeUnits = [&](std::size_t end) {
    pending_.append(reinterpret_cast<const QChar*>(piece.data() + start),
                    static_cast<qsizetype>(end - start));
    unitsInBlock_ += static_cast<qsizetype>(end - start);
  };
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char16_t unit = piece[i];
    const bool lfOfCrLf = unit == kLf && afterCr_;
    afterCr_ = unit == kCr;
    if (lfOfCrLf) {
      start = i + 1;
    } else if (unit == kCr || unit == kLf) {
      takeUnits(i);
      EndLine(unit == kLf);
      start = i + 1;
    } else if (StandInFor(unit) != 0) {
      takeUnits(i);
      InsertStandIn(unit);
      start = i + 1;
    }
  }
  takeUnits(piece.size());
}

void DocumentWriter::EndLine(bool loneLf) {
  const bool asSet = breaks_ == Breaks::AsSet;
  if (asSet && !loneLf && linesInBlock_ < kLinesPerBlock && unitsInBlock_ < kUnitsPerBlock) {
    pending_ += QChar(kLineSeparator);
    ++linesInBlock_;
    ++unitsInBlock_;
    return;
  }
  Flush();
  cursor_.insertBlock(blockFormat_, StandingFor(asSet && loneLf ? kLf : 0));
  linesInBlock_ = 1;
  unitsInBlock_ = 0;
}

void DocumentWriter::InsertStandIn(char16_t unit) {
  Flush();
  cursor_.insertText(QString(QChar(StandInFor(unit))),
                     StandingFor(unit == kReplacement ? 0 : unit));
  ++unitsInBlock_;
}

void DocumentWriter::Flush() {
  if (!pending_.isEmpty()) {
    cursor_.insertText(pending_, StandingFor(0));
    pending_.truncate(0);
  }
}

namespace {

QTextCursor EmptiedDocument(TextBox& box) {
  box.clear();
  // Nothing of the filling is to be undone; disabling also empties the history.
  box.document()->setUndoRedoEnabled(false);
  return QTextCursor(box.document());
}

}  // namespace

TextBoxFiller::TextBoxFiller(TextBox& box)
    : box_(box), writer_(EmptiedDocument(box), DocumentWriter::Breaks::AsSet) {}

TextBoxFiller::~TextBoxFiller() {
  Finish();
}

void TextBoxFiller::Append(std::u16string_view piece) {
  QTextCursor edit = writer_.Cursor();
  edit.beginEditBlock();
  writer_.Write(piece);
  writer_.Flush();
  edit.endEditBlock();
}

void TextBoxFiller::Finish() {
  if (finished_) {
    return;
  }
  finished_ = true;
  box_.document()->setUndoRedoEnabled(true);
  box_.CountLinesNotLaidOut();
  box_.moveCursor(QTextCursor::Start);
}

void OnClick(QAction& item, std::function<void()> handler) {
  QObject::connect(&item, &QAction::triggered, &item, [&item, handler = std::move(handler)] {
    if (item.isCheckable()) {
      item.setChecked(!item.isChecked());
    }
    handler();
  });
}

MenuShortcutKeys::MenuShortcutKeys(std::vector<const QAction*> items, QObject* parent)
    : QObject(parent), items_(std::move(items)) {}

const QAction* MenuShortcutKeys::ItemForKey(const QKeyEvent& key) const {
  const QKeySequence pressed(
      QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
  for (const QAction* item : items_) {
    if (!item->shortcut().isEmpty() && item->shortcut() == pressed) {
      return item;
    }
  }
  return nullptr;
}

bool MenuShortcutKeys::eventFilter(QObject* watched, QEvent* event) {
  const bool override = event->type() == QEvent::ShortcutOverride;
  if (!override && event->type() != QEvent::KeyPress) {
    return QObject::eventFilter(watched, event);
  }
  const QAction* item = ItemForKey(*static_cast<QKeyEvent*>(event));
  if (item == nullptr) {
    return QObject::eventFilter(watched, event);
  }
  if (override) {
    // Declined: the key goes to the window's shortcuts, not to the text box.
    event->ignore();
    return true;
  }
  // A key press gets here only when no shortcut took the key, as for a
  // disabled item: it must not reach the text box either.
  return !item->isEnabled();
}

}  // namespace qtPlatform
