// The controls of the window as its handlers use them, over Qt Widgets:
// geometry in twips, text boxes whose text crosses as CR LF, menu items whose
// Click the handler alone decides, and menu shortcut keys that reach the menu
// from anywhere in the window.
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <QStringView>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QKeyEvent;
class QWidget;

namespace platform {

// Twips (1/1440 inch) and pixels at a logical resolution in dots per inch.
int TwipsToPixels(double twips, double dpi);
float PixelsToTwips(int pixels, double dpi);

// A control's position and size in twips, measured from the top-left corner
// of its parent; horizontal values use the screen's horizontal resolution,
// vertical values its vertical one.
struct Twips {
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
};

void PlaceInTwips(QWidget& widget, const Twips& geometry);
Twips GeometryInTwips(const QWidget& widget);
void SetWidthInTwips(QWidget& widget, float width);
void SetHeightInTwips(QWidget& widget, float height);

// The document's raw text with its paragraph breaks as CR LF and its line
// separators as LF; everything else, U+00A0 included, unchanged.
std::u16string TextFromDocument(QStringView raw);
// The reverse: CR LF and a lone CR become paragraph breaks, a lone LF becomes
// a line separator, so that a lone LF reads back as it was.
QString DocumentTextFrom(std::u16string_view text);

// A multi-line text box: wraps at its right edge, vertical scroll bar only,
// editable, no length limit; Tab moves the focus on.
class TextBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TextBox(QWidget* parent = nullptr);

  // The whole text, line breaks as CR LF.
  std::u16string Text() const;
  // Replaces the whole text; CR LF (or a lone CR) starts a new line.
  void SetText(std::u16string_view text);

 protected:
  // Shift+Enter starts a new line like Enter, so every break the user types
  // reads back as CR LF.
  void keyPressEvent(QKeyEvent* event) override;
};

// Runs handler on every Click of item. Qt toggles a checkable item's mark
// before it reports the click; that toggle is undone first, so the handler
// alone decides the mark.
void OnClick(QAction& item, std::function<void()> handler);

// An event filter for the text boxes: the shortcut keys of the given menu
// items go to the menu even where a text box would take them for itself
// (Ctrl+Y as redo, say), and the key of a disabled item does nothing at all.
class MenuShortcutKeys : public QObject {
  Q_OBJECT

 public:
  explicit MenuShortcutKeys(std::vector<const QAction*> items, QObject* parent = nullptr);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const QAction* ItemForKey(const QKeyEvent& key) const;

  std::vector<const QAction*> items_;
};

}  // namespace platform
