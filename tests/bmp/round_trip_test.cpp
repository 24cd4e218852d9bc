// What the writer saves, the reader loads back: exactly at 24 and 32 bits,
// through the colour table at 1, 4 and 8 bits, and through 5-6-5 words at
// 16 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image/bitmap_image.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

// The pixel that a saved `colour` comes back as.
ColorQuad AfterRoundTrip(const BitmapImage& saved, const ColorQuad& colour) {
  switch (saved.Depth()) {
    case 32:
      return colour;
    case 24:
      return ColorQuad{colour.blue, colour.green, colour.red, 0};
    case 16:
      // Red and blue keep 5 bits; green is written with 6 and read with 5.
      return ColorQuad{static_cast<std::uint8_t>(colour.blue & 0xF8),
                       static_cast<std::uint8_t>(colour.green & 0xF8),
                       static_cast<std::uint8_t>(colour.red & 0xF8), 0};
    default:
      return saved.PaletteEntry(saved.NearestPaletteIndex(colour));
  }
}

TEST(RoundTrip, SavedPicturesLoadBackAtEveryDepthAndWidth) {
  test::ScratchDir dir;
  const std::string path = dir.File("round.bmp");
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    for (const int width : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 33}) {
      // At 1, 4 and 8 bits both the standard table and one of random
      // colours with alphas of their own, which the file must carry.
      for (const bool ownTable : {false, true}) {
        if (ownTable && depth > 8) continue;
        const std::string name = std::to_string(depth) + " bits, width " + std::to_string(width) +
                                 (ownTable ? ", own table" : "");
        test::TestRandom random(static_cast<std::uint32_t>(depth * 1000 + width * 2 + ownTable));
        BitmapImage image;
        ASSERT_TRUE(image.SetDepth(depth));
        ASSERT_TRUE(image.Resize(width, 3));
        image.SetPelsPerMeter(2835, 0);
        if (ownTable)
          for (int k = 0; k < image.ColorCount(); ++k)
            image.SetPaletteEntry(
                k, ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()});
        for (int j = 0; j < image.Height(); ++j)
          for (int i = 0; i < width; ++i)
            image.At(i, j) = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
        ASSERT_TRUE(image.Save(path.c_str())) << name;

        BitmapImage loaded;
        ASSERT_TRUE(loaded.Load(path.c_str())) << name;
        ASSERT_EQ(loaded.Depth(), depth) << name;
        ASSERT_EQ(loaded.Width(), width) << name;
        ASSERT_EQ(loaded.Height(), 3) << name;
        EXPECT_EQ(loaded.XPelsPerMeter(), 2835) << name;
        EXPECT_EQ(loaded.YPelsPerMeter(), 3780) << name;
        for (int k = 0; k < (depth <= 8 ? image.ColorCount() : 0); ++k)
          ASSERT_EQ(loaded.PaletteEntry(k), image.PaletteEntry(k)) << name << " entry " << k;
        for (int j = 0; j < 3; ++j)
          for (int i = 0; i < width; ++i)
            ASSERT_EQ(loaded.At(i, j), AfterRoundTrip(image, image.At(i, j)))
                << name << " pixel " << i << "," << j;
      }
    }
  }
}

}  // namespace
}  // namespace quendral
