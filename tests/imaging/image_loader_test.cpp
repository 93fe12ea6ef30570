#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "core/streams.h"
#include "imaging/image_loader.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using testing::MakeBmp;
using testing::MakePngColor;
using testing::PatternImage;
using testing::SamePixels;
using testing::TBmpLayout;
using testing::TTestImage;

std::unique_ptr<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(std::span<const uint8_t>(bytes));
  stream->SetPosition(0);
  return stream;
}

std::vector<uint8_t> SmallBmp(const TTestImage& image) {
  TBmpLayout layout;
  layout.Width = image.Width;
  layout.Height = image.Height;
  layout.Pixels = image.Pixels;
  return MakeBmp(layout);
}

TEST(LoaderRegistry, ExtensionsAreNormalised) {
  EXPECT_EQ(NormalizeExtension(u"*.JPG"), u".jpg");
  EXPECT_EQ(NormalizeExtension(u"  png "), u".png");
  EXPECT_EQ(NormalizeExtension(u".gif"), u".gif");
  EXPECT_EQ(NormalizeExtension(u"   "), u"");
  EXPECT_EQ(ExtensionOf(u"Folder\\Picture.JPEG"), u".jpeg");
  EXPECT_EQ(ExtensionOf(u"folder.d/picture"), u"");
  EXPECT_EQ(ExtensionOf(u"picture"), u"");
}

TEST(LoaderRegistry, PngDataNamedBmpIsReadAsPng) {
  const TTestImage image = PatternImage(6, 5, 2, true);
  auto stream = StreamOf(MakePngColor(image, true));
  auto picture = LoadImage(*stream, u"x.bmp");
  ASSERT_TRUE(picture);
  EXPECT_TRUE(SamePixels(*picture->GetMipLevel(0), image));
  EXPECT_EQ(picture->Name(), u"x.bmp");
}

TEST(LoaderRegistry, TheExtensionChoosesTheLoaders) {
  const TTestImage image = PatternImage(4, 3, 3);
  const auto bmp = SmallBmp(image);
  auto stream = StreamOf(bmp);
  EXPECT_TRUE(LoadImage(*stream, u"a.DIB"));
  stream->SetPosition(0);
  EXPECT_FALSE(LoadImage(*stream, u"a.jpg"));  // JPEG loaders only
  EXPECT_EQ(stream->GetPosition(), 0);
  stream->SetPosition(0);
  EXPECT_FALSE(LoadImage(*stream, u"a.txt"));
  stream->SetPosition(0);
  auto noExtension = LoadImage(*stream, u"picture");  // every loader is tried
  ASSERT_TRUE(noExtension);
  TTestImage opaque = image;
  for (auto& p : opaque.Pixels) p |= 0xFF000000u;
  EXPECT_TRUE(SamePixels(*noExtension->GetMipLevel(0), opaque));
}

TEST(LoaderRegistry, RegisteredLoadersComeAfterTheSystemsOwn) {
  // Loaders stay registered for the life of the process, so the counter
  // must outlive this test (later tests' BMP files reach this loader too).
  static int calls;
  calls = 0;
  RegisterLoader(
      [](TStream& stream, const TString& name, const TLoadParams&) -> TRef<TBitmapStore> {
        ++calls;
        uint8_t first = 0;
        stream.Read(std::span<uint8_t>(&first, 1));  // moves the stream; LoadImage puts it back
        if (first != 'Q') throw std::runtime_error("not mine");
        auto bitmap = CreateBitmap(2, 2, FormatA8R8G8B8());
        bitmap->Fill(bitmap->BoundsRect(), 0xFF123456);
        return MakeRef<TWrapperBitmapStore>(name, std::move(bitmap));
      },
      {u"*.Quux", u"bmp"});
  auto mine = StreamOf({'Q', 1, 2, 3});
  auto picture = LoadImage(*mine, u"a.quux");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->GetMipLevel(0)->PixelColor(1, 1), 0xFF123456u);
  EXPECT_EQ(calls, 1);
  // A real BMP is taken by the BMP loader first.
  auto bmp = StreamOf(SmallBmp(PatternImage(2, 2, 1)));
  ASSERT_TRUE(LoadImage(*bmp, u"a.bmp"));
  EXPECT_EQ(calls, 1);
  // A failing loader declines quietly and restores the position.
  auto other = StreamOf({'Z', 1, 2, 3});
  other->SetPosition(0);
  EXPECT_FALSE(LoadImage(*other, u"a.quux"));
  EXPECT_EQ(other->GetPosition(), 0);
  EXPECT_EQ(calls, 2);
}

TEST(LoaderRegistry, StopRequestsPassThrough) {
  RegisterLoader([](TStream&, const TString&, const TLoadParams&) -> TRef<TBitmapStore> { throw EAbort(); },
                 {u".stop"});
  auto stream = StreamOf({1, 2, 3});
  EXPECT_THROW(LoadImage(*stream, u"a.stop"), EAbort);
}

TEST(LoaderRegistry, OwnedStreamsAreFreed) {
  auto stream = StreamOf(SmallBmp(PatternImage(3, 3, 4)));
  auto picture = LoadImage(std::unique_ptr<TStream>(std::move(stream)), u"owned.bmp");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->GetMipLevel(0)->Width(), 3);
  EXPECT_FALSE(LoadImage(std::unique_ptr<TStream>(), u"none.bmp"));
}

TEST(LoaderRegistry, FilesOnDisk) {
  char folder[] = "/tmp/zel_imaging_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/picture.png";
  const TTestImage image = PatternImage(7, 3, 5, true);
  const auto png = MakePngColor(image, true);
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  }
  auto picture = LoadImageFile(path);
  ASSERT_TRUE(picture);
  EXPECT_TRUE(SamePixels(*picture->GetMipLevel(0), image));
  EXPECT_FALSE(LoadImageFile(std::string(folder) + "/missing.png"));
  EXPECT_FALSE(LoadImageFile(folder));  // a folder is no picture
  std::remove(path.c_str());
  rmdir(folder);
}

}  // namespace
}  // namespace zel
