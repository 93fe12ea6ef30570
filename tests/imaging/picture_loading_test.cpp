// Pictures of a show package through the file accessor with the real
// decoders: one decoded copy, the placeholder, and turning pictures upright.
#include <gtest/gtest.h>

#include "imaging/picture_loading.h"
#include "imaging/test_pictures.h"
#include "package/package_test_support.h"
#include "package/show_locator.h"

namespace zel {
namespace {

using namespace testing_support;

// A 3 x 2 picture: red, green, blue on top; white, black, grey below.
std::vector<uint8_t> SmallBmp() {
  testing::TBmpLayout layout;
  layout.Width = 3;
  layout.Height = 2;
  layout.Bits = 24;
  layout.Pixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000, 0xFF808080};
  return testing::MakeBmp(layout);
}

uint32_t PixelAt(TImage& image, int x, int y) {
  TBitmap* bitmap = image.GetMipLevel(0, PixelFormat("A8R8G8B8"));
  uint32_t pixel = 0;
  bitmap->GetPixels32(x, y, std::span<uint32_t>(&pixel, 1), 0, 1);
  return pixel;
}

class PackagePictures : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPictureLoading();
    file = folder.File("pictures.ZlShow");
    MakePackage(file, {{u"Project.zel", Bytes("[Main]\r\n[RotationState]\r\n;\"turned.bmp\"=6\r\n"), pmDeflated},
                       {u"Pictures\\small.bmp", SmallBmp(), pmDeflated},
                       {u"turned.bmp", SmallBmp(), pmScrambled},
                       {u"broken.bmp", Bytes("BM this is no bitmap"), pmStored}});
    std::string message;
    show = OpenExecutableShow(Utf8ToString(file), message);
    ASSERT_NE(show, nullptr) << message;
  }
  TTempFolder folder;
  std::string file;
  std::unique_ptr<TZelShowLocator> show;
};

TEST_F(PackagePictures, APackedPictureDecodesOnceForAllItsNames) {
  auto a = LoadAccessorPicture(show->Accessor(), u"Pictures\\small.bmp");
  auto b = LoadAccessorPicture(show->Accessor(), u"PICTURES\\SMALL.BMP");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(&a->Store(), &b->Store());
  EXPECT_EQ(a->Width(), 3);
  EXPECT_EQ(a->Height(), 2);
  EXPECT_EQ(PixelAt(*a, 0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(PixelAt(*a, 2, 1) & 0xFFFFFF, 0x808080u);
}

TEST_F(PackagePictures, MissingAndBrokenPicturesShowThePlaceholder) {
  for (const char16_t* name : {u"missing.bmp", u"broken.bmp"}) {
    auto picture = show->Accessor().LoadPicture(name);
    ASSERT_TRUE(picture.has_value());
    EXPECT_TRUE(picture->IsPlaceholder());
    auto image = LoadAccessorPicture(show->Accessor(), name);
    ASSERT_NE(image, nullptr);
    EXPECT_GT(image->Width(), 0);
  }
}

TEST_F(PackagePictures, ARecordedOrientationTurnsThePictureUpright) {
  auto image = LoadAccessorPicture(show->Accessor(), u"turned.bmp");
  ASSERT_NE(image, nullptr);
  TBitmap* bitmap = image->GetMipLevel(0, PixelFormat("A8R8G8B8"));
  ASSERT_EQ(bitmap->Width(), 2);  // a quarter turn swaps the sides
  ASSERT_EQ(bitmap->Height(), 3);
  // Every colour is still there, now in a 2 x 3 picture.
  std::vector<uint32_t> seen;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 2; ++x) seen.push_back(PixelAt(*image, x, y) & 0xFFFFFF);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x000000, 0x0000FF, 0x00FF00, 0x808080, 0xFF0000, 0xFFFFFF}));
}

}  // namespace
}  // namespace zel
