// What the program sets on the Qt application before it opens its window: Qt's
// own texts in the user's language, one Japanese face for every dialog, and
// the program's icon for every window.
#pragma once

#include <QFont>
#include <QIcon>
#include <QLocale>
#include <QString>
#include <QTranslator>

namespace qtPlatform {

// The name of the desktop entry, so that desktops match the window to it.
inline constexpr char16_t kDesktopFileName[] = u"org.example.pokopen";

// Loads Qt's own translations (qtbase) for locale into translator and installs
// it. Returns false when Qt has none for that locale; its texts stay English.
bool InstallQtTranslations(QTranslator& translator, const QLocale& locale);

// The program's icon: its 32 by 32 and 16 by 16 images.
QIcon ProgramIcon();

// base with a Japanese user-interface face first, so that Japanese, Latin
// letters and digits in one line are all drawn in the same face.
QFont UserInterfaceFont(QFont base);

}  // namespace qtPlatform
