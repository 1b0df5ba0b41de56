#include "qtPlatform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <algorithm>

#include "qtControls.h"

namespace qtPlatform {

using namespace Qt::Literals::StringLiterals;

namespace {

// The program's instance handle; any nonzero number serves.
constexpr std::int32_t kInstanceHandle = 0x00400000;

// Message boxes show CR LF (or a lone CR) as one line break.
QString ShownText(std::u16string_view prompt) {
  QString shown = ToQString(prompt);
  shown.replace(u"\r\n"_s, u"\n"_s);
  shown.replace(u'\r', u'\n');
  return shown;
}

std::vector<std::u16string_view> SplitAtNul(std::u16string_view list) {
  std::vector<std::u16string_view> fields;
  while (!list.empty()) {
    const std::size_t end = list.find(u'\0');
    fields.push_back(list.substr(0, end));
    if (end == std::u16string_view::npos) {
      break;
    }
    list.remove_prefix(end + 1);
  }
  return fields;
}

QString QtPattern(std::u16string_view windowsPattern) {
  QStringList patterns;
  for (const QString& pattern : ToQString(windowsPattern).split(u';')) {
    const QString trimmed = pattern.trimmed();
    if (!trimmed.isEmpty()) {
      patterns << (trimmed == u"*.*"_s ? u"*"_s : trimmed);
    }
  }
  return patterns.isEmpty() ? u"*"_s : patterns.join(u' ');
}

QString InParentheses(const QString& text) {
  return u"("_s + text + u")"_s;
}

QString NameFilter(std::u16string_view description, std::u16string_view windowsPattern) {
  const QString pattern = QtPattern(windowsPattern);
  QString text = ToQString(description);
  for (const QString& shown : {InParentheses(ToQString(windowsPattern)), InParentheses(pattern)}) {
    if (text.endsWith(shown)) {
      text.chop(shown.size());
      return text + InParentheses(pattern);
    }
  }
  return text + u" "_s + InParentheses(pattern);
}

// The window a message box belongs to: the active one, or else the program's
// main window, as just after a file dialog has closed and before the window
// is active again. A box with no owner would show no icon of the program and
// stand anywhere on the screen.
QWidget* BoxOwner() {
  if (QWidget* active = QApplication::activeWindow()) {
    return active;
  }
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && window->parentWidget() == nullptr &&
        qobject_cast<QMainWindow*>(window) != nullptr) {
      return window;
    }
  }
  return nullptr;
}

// A message box sizes itself to its text whenever it is shown, over any
// minimum width of its own; a minimum width of its text widens it. Only a
// text narrower than the title gets one: a wider text sizes the box itself,
// and a minimum width below its own would cut it off.
void MakeRoomForTitle(QMessageBox& box) {
  auto* text = box.findChild<QLabel*>(u"qt_msgbox_label"_s);
  if (text == nullptr) {
    return;
  }
  int textWidth = 0;
  for (const QString& line : text->text().split(u'\n')) {
    textWidth = std::max(textWidth, text->fontMetrics().horizontalAdvance(line));
  }
  const int iconWidth = box.iconPixmap().isNull()
                            ? 0
                            : static_cast<int>(box.iconPixmap().deviceIndependentSize().width());
  const int needed = WidthForTitle(box) - iconWidth;
  if (needed > textWidth) {
    text->setMinimumWidth(needed);
  }
}

int AnswerFor(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Yes:
      return platform::kAnswerYes;
    case QMessageBox::No:
      return platform::kAnswerNo;
    default:
      return platform::kAnswerOk;
  }
}

}  // namespace

QStringList NameFiltersFrom(std::u16string_view filter) {
  QStringList filters;
  const std::vector<std::u16string_view> fields = SplitAtNul(filter);
  for (std::size_t i = 0; i < fields.size() && !fields[i].empty(); i += 2) {
    const std::u16string_view pattern = i + 1 < fields.size() ? fields[i + 1] : u"";
    filters << NameFilter(fields[i], pattern);
  }
  return filters;
}

int QtServices::MsgBox(std::u16string_view prompt, int style, std::u16string_view title) {
  QMessageBox box(BoxOwner());
  box.setWindowTitle(ToQString(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(ShownText(prompt));
  switch (style) {
    case platform::kMsgBoxQuestionYesNo:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
    case platform::kMsgBoxExclamationOkOnly:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case platform::kMsgBoxErrorSystemModal:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      box.setWindowModality(Qt::ApplicationModal);
      box.setWindowFlag(Qt::WindowStaysOnTopHint);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  MakeRoomForTitle(box);
  box.exec();
  return AnswerFor(box.standardButton(box.clickedButton()));
}

void QtServices::SetMousePointer(int pointer) {
  if (pointer == platform::kPointerHourglass) {
    if (QGuiApplication::overrideCursor() != nullptr) {
      QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
    } else {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    return;
  }
  while (QGuiApplication::overrideCursor() != nullptr) {
    QGuiApplication::restoreOverrideCursor();
  }
}

std::int32_t QtServices::GetOpenFileName(platform::OpenFileName& ofn) {
  return RunFileDialog(ofn, DialogKind::Open);
}

std::int32_t QtServices::GetSaveFileName(platform::OpenFileName& ofn) {
  return RunFileDialog(ofn, DialogKind::Save);
}

std::int32_t QtServices::RunFileDialog(platform::OpenFileName& ofn, DialogKind kind) {
  QFileDialog dialog(WindowOfHandle(ofn.hwndOwner), ToQString(ofn.lpstrTitle));
  // Qt's own dialog behaves the same on every desktop and can be driven by tests.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (kind == DialogKind::Save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
  }
  dialog.setFileMode((ofn.Flags & platform::OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile
                                                                    : QFileDialog::AnyFile);
  const QStringList filters = NameFiltersFrom(ofn.lpstrFilter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= static_cast<std::uint32_t>(filters.size())) {
      dialog.selectNameFilter(filters[static_cast<qsizetype>(ofn.nFilterIndex) - 1]);
    }
  }
  if (!ofn.lpstrFile.empty()) {
    dialog.selectFile(ToQString(ofn.lpstrFile));
  }
  if (dialog.exec() != QDialog::Accepted) {
    return 0;
  }
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) {
    return 0;
  }
  ofn.lpstrFile = QDir::toNativeSeparators(chosen.front()).toStdU16String();
  if (const qsizetype chosenFilter = filters.indexOf(dialog.selectedNameFilter());
      chosenFilter >= 0) {
    ofn.nFilterIndex = static_cast<std::uint32_t>(chosenFilter + 1);
  }
  return 1;
}

std::int32_t HandleOfWindow(const QWidget& window) {
  // The native window ids of X11 fit in 32 bits, as Windows handles did.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(window.winId()));
}

QWidget* WindowOfHandle(std::int32_t handle) {
  if (handle == 0) {
    return nullptr;
  }
  return QWidget::find(static_cast<WId>(static_cast<std::uint32_t>(handle)));
}

std::int32_t QtServices::InstanceHandle() {
  return kInstanceHandle;
}

void QtServices::EndProgram() {
  QCoreApplication::exit(0);
}

}  // namespace qtPlatform
