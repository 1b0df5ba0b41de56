#include "qtApplication.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>

namespace qtPlatform {

using namespace Qt::Literals::StringLiterals;

bool InstallQtTranslations(QTranslator& translator, const QLocale& locale) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator.load(locale, u"qtbase"_s, u"_"_s, folder)) {
    return false;
  }
  return QCoreApplication::installTranslator(&translator);
}

QFont UserInterfaceFont(QFont base) {
  base.setFamilies({u"Noto Sans CJK JP"_s, u"IPAPGothic"_s, u"sans-serif"_s});
  base.setStyleHint(QFont::SansSerif);
  return base;
}

}  // namespace qtPlatform
