#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

namespace tvx {
namespace {

TEST(Bitmap32, SizeClearAndPixelLayout) {
  TBitmap32 b(3, 2);
  EXPECT_FALSE(b.Empty());
  b.Clear(0x80112233);
  EXPECT_EQ(b.Pixel(2, 1), 0x80112233u);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(b.Bits());
  EXPECT_EQ(bytes[0], 0x33);  // blue first in memory
  EXPECT_EQ(bytes[3], 0x80);  // alpha last
  b.SetSize(0, 5);
  EXPECT_TRUE(b.Empty());
}

}  // namespace
}  // namespace tvx
