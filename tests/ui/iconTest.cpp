#include <gtest/gtest.h>

#include <QImage>

#include "icon/pokopen16.xpm"
#include "icon/pokopen32.xpm"

namespace {

TEST(ProgramIcon, BothImagesHaveSixteenColours) {
  EXPECT_EQ(QImage(pokopen32_xpm).colorCount(), 16);
  EXPECT_EQ(QImage(pokopen16_xpm).colorCount(), 16);
}

}  // namespace
