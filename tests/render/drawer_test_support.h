// A drawer on a hidden window, pictures made from functions, and items made
// from lambdas: what the drawer tests draw with.
#pragma once

#include <functional>
#include <memory>

#include "gl_test_support.h"
#include "core/streams.h"
#include "imaging/bitmap_store.h"
#include "imaging/image_lib_store.h"
#include "render/drawer_3d.h"

namespace zel::testing_support {

class TLambdaItem : public TDrawItem {
 public:
  explicit TLambdaItem(std::function<void(TDeviceDrawer&)> draw, float blur = 0)
      : fDraw(std::move(draw)), fBlur(blur) {}
  float GetBlur() const override { return fBlur; }
  void Draw(TDeviceDrawer& drawer) override { fDraw(drawer); }

 private:
  std::function<void(TDeviceDrawer&)> fDraw;
  float fBlur;
};

// A box of one colour.
inline TBoxDrawParams SolidBox(TColor color, float width, float height) {
  TBoxDrawParams box;
  box.gradientType = 8;
  box.color1 = color;
  box.width = width;
  box.height = height;
  return box;
}

// A 32-bit picture whose pixels come from a function of the position.
inline std::unique_ptr<TImage> MakePicture(int width, int height, const std::function<TColor(int, int)>& pixel) {
  auto bitmap = std::make_unique<TDirectBitmap>(width, height, FormatA8R8G8B8());
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < width; ++x) row[x] = pixel(x, y);
  }
  return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(u"test picture", std::move(bitmap)));
}

// Draws whole frames and keeps the last one, read back before it is shown.
class GLDrawerTest : public ::testing::Test {
 protected:
  virtual int Width() const { return 256; }
  virtual int Height() const { return 192; }

  void SetUp() override {
    if (!Get3DEngine()) ZEL_NO_GL_HERE();
    fWindow = TDeviceWindow::Create(Width(), Height(), false, "drawer test");
    ASSERT_NE(fWindow, nullptr);
    fDrawer = std::make_unique<T3DDrawer>();
    fDrawer->Init(&fWindow->Device());
    fFrame = std::make_unique<TDirectBitmap>(Width(), Height(), FormatA8R8G8B8());
    fDrawer->SetFrameNotification([this](TDeviceDrawer& drawer, TDrawItem*, TFrameStage stage) {
      if (stage == TFrameStage::FrameEnd) fCopied = drawer.CopyScreen(*fFrame);
    });
  }
  void TearDown() override {
    fDrawer.reset();
    fWindow.reset();
  }

  // One frame: cleared to the background, then the drawing.
  void DrawFrame(const std::function<void(TDeviceDrawer&)>& draw, TColor background = 0xFF000000, float blur = 0) {
    TLambdaItem content(draw, blur);
    TLambdaItem root([&](TDeviceDrawer& drawer) {
      drawer.Clear(background, true);
      drawer.Draw(content);
    });
    fCopied = false;
    fDrawer->Draw(root);
    ASSERT_TRUE(fCopied);
    // ZEL_DUMP_FRAMES=DIR keeps every frame as a PNG to look at.
    if (const char* dir = std::getenv("ZEL_DUMP_FRAMES")) {
      const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
      auto out = TFileStream::CreateWrite(std::string(dir) + "/" + test->test_suite_name() + "." + test->name() + "." +
                                          std::to_string(fDumped++) + ".png");
      SavePng(*fFrame, *out);
    }
  }
  TColor Pixel(int x, int y) const { return fFrame->PixelColor(x, y); }
  uint32_t Red(int x, int y) const { return RedOf(Pixel(x, y)); }

  // A picture drawn 1:1 with its top-left corner at (x, y).
  static void DrawAt(TDeviceDrawer& drawer, TImage& picture, float x, float y, const TImageDrawParams& params = {}) {
    drawer.DrawImage(picture, {x, y, 0}, params, {1, 0, 0}, {0, 1, 0}, {0, 0});
  }

  std::unique_ptr<TDeviceWindow> fWindow;
  std::unique_ptr<T3DDrawer> fDrawer;
  std::unique_ptr<TDirectBitmap> fFrame;
  bool fCopied = false;
  int fDumped = 0;
};

}  // namespace zel::testing_support
