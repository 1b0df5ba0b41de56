#include "qtApplication.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPixmap>
#include <QStringList>

#include "icon/pokopen16.xpm"
#include "icon/pokopen32.xpm"

namespace qtPlatform {

using namespace Qt::Literals::StringLiterals;

bool InstallQtTranslations(QTranslator& translator, const QLocale& locale) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator.load(locale, u"qtbase"_s, u"_"_s, folder)) {
    return false;
  }
  return QCoreApplication::installTranslator(&translator);
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(QPixmap(pokopen32_xpm));
  icon.addPixmap(QPixmap(pokopen16_xpm));
  return icon;
}

QFont UserInterfaceFont(QFont base) {
  base.setFamilies({u"Noto Sans CJK JP"_s, u"IPAPGothic"_s, u"sans-serif"_s});
  base.setStyleHint(QFont::SansSerif);
  return base;
}

}  // namespace qtPlatform
