// The controls of the window as its handlers use them, over Qt Widgets:
// geometry in twips, text boxes whose text crosses as CR LF, menu items whose
// Click the handler alone decides, and menu shortcut keys that reach the menu
// from anywhere in the window.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPlainTextEdit>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "textReader.h"

class QAction;
class QInputMethodEvent;
class QKeyEvent;
class QMimeData;
class QMouseEvent;
class QResizeEvent;
class QWidget;

namespace qtPlatform {

// The program's UTF-16 text as Qt's.
QString ToQString(std::u16string_view text);

// Twips (1/1440 inch) and pixels at a logical resolution in dots per inch.
int TwipsToPixels(double twips, double dpi);
float PixelsToTwips(int pixels, double dpi);

// The least width a dialog needs for the desktop to show its whole title
// beside the title bar's icon and buttons, which the dialog's own layout knows
// nothing of: the title in a bold, somewhat larger face, and room for four
// buttons.
int WidthForTitle(const QWidget& dialog);

// The largest size a top-level window can have, its frame included, in the
// free area of its screen (the screen less the desktop's panels). The frame
// is not known before the window is shown: room is left for a title bar three
// lines of text high and a border of half a line.
QSize RoomForWindow(const QWidget& window);

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

// A multi-line text box: wraps at its right edge, vertical scroll bar only,
// editable, no length limit; Tab moves the focus on.
//
// A text set whole keeps up to some tens of short lines in one block,
// separated by line separators (U+2028), which the box shows as line breaks:
// Qt spends far more on a block than on a character, and an edit still lays
// out only a few lines. A break reads back as it was set: a lone LF as LF,
// any other as CR LF. A lone LF ends its block and is marked in the character
// format of the block separator; Qt keeps formats with their characters
// through every edit, undo and redo. Breaks the user types or pastes are CR LF
// block separators.
//
// A character that Qt would take for a break or a frame (U+2028, U+2029,
// U+FDD0, U+FDD1) stands in the document as a U+2028 or U+FFFD whose format
// names it, however it came in: set, pasted, dropped, typed or from an input
// method. It reads back, and is copied, as itself.
class TextBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TextBox(QWidget* parent = nullptr);

  // The whole text, line breaks as CR LF except a lone LF as it was set.
  std::u16string Text(const textFiles::Progress& progress = {}) const;
  // The same text handed to `take` in pieces of some thousands of units, and
  // how many of the box's blocks have been handed over after each.
  void ReadText(const std::function<void(std::u16string_view piece)>& take,
                const textFiles::Progress& progress = {}) const;
  // Replaces the whole text; CR LF, a lone CR and a lone LF each end a line.
  // The undo history starts afresh.
  void SetText(std::u16string_view text, const textFiles::Progress& progress = {});

 protected:
  // Enter and Shift+Enter start a new line that reads back as CR LF.
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  // Pasted and dropped text comes in as plain text with CR LF breaks.
  void insertFromMimeData(const QMimeData* source) override;
  // The clipboard gets the selection as it reads back, each break as LF.
  QMimeData* createMimeDataFromSelection() const override;
  // A triple click selects the line under the pointer, not its whole block.
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Inserts text as the user typed it, in place of the selection.
  void InsertTyped(const QString& text);
  void SelectLineAt(int position);
  // Qt counts a block it has not laid out yet as one line on the scroll bar:
  // such a block is counted as the lines it holds, so that the scroll bar
  // tells where in the text the view is.
  void CountLinesNotLaidOut();
  friend class TextBoxFiller;

  QElapsedTimer sinceDoubleClick_;
  QPoint doubleClickPoint_;
};

// Writes text at a cursor in the form a box's document holds it. Pieces may
// be split anywhere, between CR and LF too.
class DocumentWriter {
 public:
  enum class Breaks {
    AsSet,    // short lines share a block; a lone LF is kept and ends its block
    AsTyped,  // every break, a lone LF too, is a CR LF block separator
  };
  DocumentWriter(const QTextCursor& cursor, Breaks breaks);

  void Write(std::u16string_view piece);
  // Inserts what Write holds back for the block it is filling.
  void Flush();
  const QTextCursor& Cursor() const { return cursor_; }

 private:
  void EndLine(bool loneLf);
  void InsertStandIn(char16_t unit);

  QTextCursor cursor_;
  const QTextBlockFormat blockFormat_;  // the cursor's, for every new block
  const Breaks breaks_;
  QString pending_;  // the current block's text not yet inserted
  int linesInBlock_ = 1;
  qsizetype unitsInBlock_ = 0;
  bool afterCr_ = false;  // a LF that comes next belongs to that CR
};

// Replaces the text of a box with one that arrives in pieces, as a converter
// or a reader gives it. The box lays out only what it shows, and the pieces
// may be split anywhere, between CR and LF too.
class TextBoxFiller {
 public:
  // Empties the box and its undo history.
  explicit TextBoxFiller(TextBox& box);
  // Finishes if Finish was not called.
  ~TextBoxFiller();
  TextBoxFiller(const TextBoxFiller&) = delete;
  TextBoxFiller& operator=(const TextBoxFiller&) = delete;

  // Appends a piece in one edit, so the box is whole between two pieces.
  void Append(std::u16string_view piece);
  // Puts the cursor at the start and lets the user's edits be undone again.
  void Finish();

 private:
  TextBox& box_;
  DocumentWriter writer_;
  bool finished_ = false;
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

}  // namespace qtPlatform
