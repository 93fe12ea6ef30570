// Shared pieces of the render tests: the offscreen driver, a log that keeps
// its lines, and a screen on a hidden device window with helpers that draw
// quads and read the back buffer.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gl_required.h"
#include "imaging/bitmap.h"
#include "log_capture.h"
#include "imaging/pixel_format.h"
#include "render/custom_texture.h"
#include "render/draw_device.h"
#include "render/engine_3d.h"
#include "render/generated_texture.h"
#include "render/screen.h"
#include "render/vertex_buffer.h"

namespace zel::testing_support {

// Every render test draws without a display; the variable must be set
// before SDL's video starts.
class TOffscreenEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
  void TearDown() override { Free3DEngine(); }
};

inline int ChannelDistance(TColor a, TColor b) {
  auto d = [](uint32_t x, uint32_t y) { return x > y ? static_cast<int>(x - y) : static_cast<int>(y - x); };
  return std::max({d(RedOf(a), RedOf(b)), d(GreenOf(a), GreenOf(b)), d(BlueOf(a), BlueOf(b))});
}

// Colour channels (not alpha) within tolerance.
#define EXPECT_COLOR_NEAR(actual, expected, tolerance)                                                          \
  EXPECT_LE(::zel::testing_support::ChannelDistance((actual), (expected)), (tolerance))                         \
      << std::hex << "actual 0x" << (actual) << " expected 0x" << (expected)

// A screen on a hidden window, ready to draw a frame.
class GLScreenTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 128;
  static constexpr int kHeight = 96;

  void SetUp() override {
    if (!Get3DEngine()) ZEL_NO_GL_HERE();
    fWindow = TDeviceWindow::Create(kWidth, kHeight, false, "render test");
    ASSERT_NE(fWindow, nullptr);
    fScreen = std::make_unique<T3DScreen>();
    fScreen->AssignDevice(&fWindow->Device());
    ASSERT_TRUE(fScreen->BeginScene());
  }

  void TearDown() override {
    fScreen.reset();
    fWindow.reset();
  }

  T3DScreen& Screen() { return *fScreen; }
  T3DRenderer& Renderer() { return *fScreen->Renderer(); }

  // Two triangles; every texture spans the rectangle with its content.
  void Quad(std::initializer_list<TCustomTexture*> textures, const TRect& rect, TColor color, float z = 0) {
    TVertexBuffer& batcher = fScreen->Batcher();
    std::vector<TCustomTexture*> list(textures);
    batcher.Begin(list);
    std::vector<TTriangleCoords> first;
    std::vector<TTriangleCoords> second;
    for (TCustomTexture* texture : list) {
      const float w = static_cast<float>(texture->Size().Width);
      const float h = static_cast<float>(texture->Size().Height);
      first.push_back({{{0, 0}, {w, 0}, {w, h}}});
      second.push_back({{{0, 0}, {w, h}, {0, h}}});
    }
    const float l = static_cast<float>(rect.Left);
    const float t = static_cast<float>(rect.Top);
    const float r = static_cast<float>(rect.Right);
    const float b = static_cast<float>(rect.Bottom);
    batcher.AddTriangle({{l, t, z}, {r, t, z}, {r, b, z}}, {color, color, color}, first);
    batcher.AddTriangle({{l, t, z}, {r, b, z}, {l, b, z}}, {color, color, color}, second);
    batcher.Flush();
  }

  // The back buffer as it is now.
  std::unique_ptr<TDirectBitmap> ReadBack() {
    auto bitmap = std::make_unique<TDirectBitmap>(kWidth, kHeight, FormatA8R8G8B8());
    EXPECT_TRUE(Renderer().GetBackBuffer()->CopyToBitmap(*bitmap));
    return bitmap;
  }
  TColor Pixel(int x, int y) { return ReadBack()->PixelColor(x, y); }

  // What a surface holds.
  static std::unique_ptr<TDirectBitmap> ReadSurface(T3DSurface& surface) {
    const T3DSize size = surface.GetSize();
    auto bitmap = std::make_unique<TDirectBitmap>(size.Width, size.Height, surface.GetPixelFormat());
    EXPECT_TRUE(surface.CopyToBitmap(*bitmap));
    return bitmap;
  }

  std::unique_ptr<TDeviceWindow> fWindow;
  std::unique_ptr<T3DScreen> fScreen;
};

inline std::unique_ptr<TGeneratedTexture> Plain(T3DScreen& screen, TColor color, int size = 16,
                                                uint8_t kind = kTexKindPicture) {
  return std::make_unique<TGeneratedTexture>(&screen, kind, size, size, [color](int, int) { return color; });
}

}  // namespace zel::testing_support
