#include "qtControls.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTextDocument>
#include <QWidget>
#include <cmath>
#include <utility>

namespace platform {

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

}  // namespace

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

std::u16string TextFromDocument(QStringView raw) {
  std::u16string text;
  text.reserve(static_cast<std::size_t>(raw.size()));
  for (const QChar c : raw) {
    if (c == QChar::ParagraphSeparator) {
      text += u"\r\n";
    } else if (c == QChar::LineSeparator) {
      text += kLf;
    } else {
      text += c.unicode();
    }
  }
  return text;
}

QString DocumentTextFrom(std::u16string_view text) {
  QString document;
  document.reserve(static_cast<qsizetype>(text.size()));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == kCr) {
      if (i + 1 < text.size() && text[i + 1] == kLf) {
        ++i;
      }
      document += QChar::ParagraphSeparator;
    } else if (c == kLf) {
      document += QChar::LineSeparator;
    } else {
      document += QChar(c);
    }
  }
  return document;
}

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
}

std::u16string TextBox::Text() const {
  // toPlainText() would turn U+00A0 into a blank; the raw text keeps it.
  return TextFromDocument(document()->toRawText());
}

void TextBox::SetText(std::u16string_view text) {
  setPlainText(DocumentTextFrom(text));
}

void TextBox::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event->key()) && event->modifiers().testFlag(Qt::ShiftModifier)) {
    QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                    event->text(), event->isAutoRepeat(), static_cast<quint16>(event->count()));
    QPlainTextEdit::keyPressEvent(&plain);
    event->setAccepted(plain.isAccepted());
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
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

}  // namespace platform
