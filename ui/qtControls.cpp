#include "qtControls.h"

#include <QAction>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QScreen>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
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

// Marks the character format of a block separator that stands for a lone LF.
constexpr int kLoneLfProperty = QTextFormat::UserProperty;

// The pieces ReadText hands over, and those SetText fills in one edit each.
constexpr std::size_t kPieceUnits = std::size_t{64} * 1024;
constexpr std::size_t kFillUnits = std::size_t{256} * 1024;

QTextCharFormat BreakFormat(bool loneLf) {
  QTextCharFormat format;
  if (loneLf) {
    format.setProperty(kLoneLfProperty, true);
  }
  return format;
}

bool IsLoneLfBreak(const QTextCharFormat& separator) {
  return separator.boolProperty(kLoneLfProperty);
}

// A view of the units as a QString, without a copy.
QString RawQString(std::u16string_view text) {
  return QString::fromRawData(reinterpret_cast<const QChar*>(text.data()),
                              static_cast<qsizetype>(text.size()));
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
  // Room for every break as CR LF.
  text.reserve(static_cast<std::size_t>(doc.characterCount() + doc.blockCount()));
  ReadText([&text](std::u16string_view piece) { text += piece; }, progress);
  return text;
}

void TextBox::ReadText(const std::function<void(std::u16string_view piece)>& take,
                       const textFiles::Progress& progress) const {
  const QTextDocument& doc = *document();
  const auto lines = static_cast<std::uint64_t>(doc.blockCount());
  std::uint64_t linesRead = 0;
  std::u16string piece;
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    // The block's raw text: U+00A0 stays, where toPlainText() would make it a blank.
    const QString line = block.text();
    piece.append(reinterpret_cast<const char16_t*>(line.utf16()),
                 static_cast<std::size_t>(line.size()));
    const QTextBlock next = block.next();
    if (next.isValid()) {
      piece += IsLoneLfBreak(next.charFormat()) ? u"\n" : u"\r\n";
    }
    ++linesRead;
    if (piece.size() >= kPieceUnits || !next.isValid()) {
      if (!piece.empty()) {
        take(piece);
      }
      piece.clear();
      if (progress) {
        progress(linesRead, lines);
      }
    }
  }
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
    cursor.insertBlock(cursor.blockFormat(), BreakFormat(false));
    setTextCursor(cursor);
    ensureCursorVisible();
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
  if (source == nullptr || !source->hasText() || isReadOnly()) {
    return;
  }
  // Every break of the pasted text, CR LF, CR or LF, becomes a CR LF block
  // separator, whatever the format at the cursor.
  QTextCursor cursor = textCursor();
  cursor.insertText(source->text(), BreakFormat(false));
  setTextCursor(cursor);
  ensureCursorVisible();
}

TextBoxFiller::TextBoxFiller(TextBox& box)
    : box_(box), lineFormat_(BreakFormat(false)), loneLfFormat_(BreakFormat(true)) {
  box_.clear();
  // Nothing of the filling is to be undone; disabling also empties the history.
  box_.document()->setUndoRedoEnabled(false);
  cursor_ = QTextCursor(box_.document());
}

TextBoxFiller::~TextBoxFiller() {
  Finish();
}

void TextBoxFiller::Append(std::u16string_view piece) {
  cursor_.beginEditBlock();
  std::size_t start = 0;
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char16_t unit = piece[i];
    if (unit == kLf && afterCr_) {
      afterCr_ = false;
      start = i + 1;
      continue;
    }
    afterCr_ = unit == kCr;
    if (unit == kCr || unit == kLf) {
      AppendLine(piece.substr(start, i - start));
      cursor_.insertBlock(QTextBlockFormat(), unit == kLf ? loneLfFormat_ : lineFormat_);
      start = i + 1;
    }
  }
  AppendLine(piece.substr(start));
  cursor_.endEditBlock();
}

void TextBoxFiller::AppendLine(std::u16string_view line) {
  if (!line.empty()) {
    cursor_.insertText(RawQString(line), lineFormat_);
  }
}

void TextBoxFiller::Finish() {
  if (finished_) {
    return;
  }
  finished_ = true;
  box_.document()->setUndoRedoEnabled(true);
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
