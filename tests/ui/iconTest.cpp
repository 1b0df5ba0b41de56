#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include "icon/pokopen16.xpm"
#include "icon/pokopen32.xpm"

namespace {

// The built .ico holds both pictures pixel for pixel, transparency included.
TEST(ProgramIcon, IcoFileHoldsBothImages) {
  QImageReader reader(QStringLiteral(POKOPEN_ICO_FILE));
  ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
  ASSERT_EQ(reader.imageCount(), 2);
  const QImage expected[] = {QImage(pokopen32_xpm), QImage(pokopen16_xpm)};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(reader.jumpToImage(i));
    const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
    const QImage want = expected[i].convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(read.size(), want.size());
    int differing = 0;
    for (int y = 0; y < want.height(); ++y) {
      for (int x = 0; x < want.width(); ++x) {
        const QRgb a = read.pixel(x, y);
        const QRgb b = want.pixel(x, y);
        const bool bothClear = qAlpha(a) == 0 && qAlpha(b) == 0;
        differing += !bothClear && a != b ? 1 : 0;
      }
    }
    EXPECT_EQ(differing, 0) << "image " << i;
  }
  EXPECT_EQ(QImage(pokopen32_xpm).colorCount(), 16);
  EXPECT_EQ(QImage(pokopen16_xpm).colorCount(), 16);
}

}  // namespace
