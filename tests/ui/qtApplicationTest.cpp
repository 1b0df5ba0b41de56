#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QRawFont>
#include <QTranslator>

#include "qtApplication.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Qt's own texts follow the locale where Qt has a translation for it and stay
// English where it has none.
TEST(QtTranslations, FollowTheLocale) {
  const struct {
    QLocale locale;
    bool installed;
    QString yes;
    QString no;
    QString lookIn;
  } cases[] = {
      {QLocale(QLocale::Japanese, QLocale::Japan), true, u"はい(&Y)"_s, u"いいえ(&N)"_s,
       u"アドレス:"_s},
      {QLocale(QLocale::German, QLocale::Germany), true, u"&Ja"_s, u"&Nein"_s, u"Suchen in:"_s},
      {QLocale(QLocale::Greek, QLocale::Greece), false, u"&Yes"_s, u"&No"_s, u"Look in:"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString());
    QTranslator translator;
    const bool installed = qtPlatform::InstallQtTranslations(translator, c.locale);
    if (c.installed && !installed) {
      GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
    }
    EXPECT_EQ(installed, c.installed);

    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), c.yes);
    EXPECT_EQ(box.button(QMessageBox::No)->text(), c.no);

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QLabel* lookIn = dialog.findChild<QLabel*>(u"lookInLabel"_s);
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), c.lookIn);
  }
}

// Each dialog text is drawn in the first face of the list, with no fallback to
// another face for the Japanese, the Latin letters or the digits.
TEST(UserInterfaceFont, DrawsDialogTextsInOneFace) {
  const QRawFont face = QRawFont::fromFont(qtPlatform::UserInterfaceFont(QApplication::font()));
  ASSERT_TRUE(face.isValid());
  for (const QString& text :
       {u"ぽこぺん 1.00.2000"_s, u"ばいばいりゅん?"_s, u"ぽこぺんのバージョン情報"_s,
        u"Copyright (C) 2026 ぽこぺん開発チーム"_s, u"エラー - ぽこぺん"_s}) {
    for (const QChar c : text) {
      EXPECT_TRUE(face.supportsCharacter(c))
          << face.familyName().toStdString() << " lacks " << QString(c).toStdString();
    }
  }
}

}  // namespace
