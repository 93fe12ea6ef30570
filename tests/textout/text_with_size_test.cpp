#include <gtest/gtest.h>

#include "imaging/pixel_format.h"
#include "textout/text_with_size.h"

namespace zel {
namespace {

TEST(TextWithSize, AGreyFrameADarkerInsideAndTheTextCentred) {
  auto store = MakeTextWithSizePicture(u"TextWithSize:400:200:Video");
  ASSERT_TRUE(store);
  TBitmap* bitmap = store->GetMipLevel(0, PixelFormat("A8R8G8B8"));
  ASSERT_EQ(bitmap->Width(), 400);
  ASSERT_EQ(bitmap->Height(), 200);
  EXPECT_EQ(bitmap->PixelColor(0, 0), MakeColor(170, 170, 170));
  EXPECT_EQ(bitmap->PixelColor(3, 3), MakeColor(170, 170, 170));  // inside the 4-pixel frame
  EXPECT_EQ(bitmap->PixelColor(4, 4), MakeColor(100, 100, 100));
  EXPECT_EQ(bitmap->PixelColor(395, 195), MakeColor(100, 100, 100));
  // The text: light pixels only in the middle band of at most 20 % of the height.
  int light = 0;
  int top = 200, bottom = -1, left = 400, right = -1;
  for (int y = 4; y < 196; ++y) {
    for (int x = 4; x < 396; ++x) {
      if (RedOf(bitmap->PixelColor(x, y)) > 135) {
        ++light;
        top = std::min(top, y), bottom = std::max(bottom, y);
        left = std::min(left, x), right = std::max(right, x);
      }
    }
  }
  EXPECT_GT(light, 200);
  EXPECT_LE(bottom - top + 1, 41);
  EXPECT_LE(right - left + 1, 361);
  EXPECT_NEAR((top + bottom) / 2.0, 100, 12);
  EXPECT_NEAR((left + right) / 2.0, 200, 12);
}

TEST(TextWithSize, TextWithColonsAndAnEmptyText) {
  EXPECT_TRUE(MakeTextWithSizePicture(u"TextWithSize:100:50:a:b:c"));
  auto empty = MakeTextWithSizePicture(u"TextWithSize:10:10:");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->GetMipLevel(0, PixelFormat("A8R8G8B8"))->PixelColor(5, 5), MakeColor(100, 100, 100));
}

TEST(TextWithSize, BadNamesGiveNoPicture) {
  for (const char16_t* name : {u"TextWithSize:", u"TextWithSize:100", u"TextWithSize:100:50", u"TextWithSize:0:50:x",
                               u"TextWithSize:-5:50:x", u"TextWithSize:a:50:x", u"TextWithSize:100000:100000:x",
                               u"Text: Arial"}) {
    EXPECT_FALSE(MakeTextWithSizePicture(name)) << StringToUtf8(name);
  }
}

}  // namespace
}  // namespace zel
