// The device's life: renderer creation and re-use, capabilities, device
// loss and recovery, the video-memory retry, shaders, the batcher's flags
// and limits on a real device, and renderers made on the interface thread.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/application.h"
#include "assertion_capture.h"
#include "gl_test_support.h"
#include "core/clock.h"
#include "render/present_pacing.h"
#include "render/shader.h"

namespace zel {
namespace {

using testing_support::GLScreenTest;
using testing_support::Plain;
using testing_support::TLogCapture;

const ::testing::Environment* const kOffscreen =
    ::testing::AddGlobalTestEnvironment(new testing_support::TOffscreenEnvironment);

using Engine = GLScreenTest;

TEST_F(Engine, CapabilitiesComeFromGlLimitsWithoutRegardToCase) {
  T3DEngine& engine = *Get3DEngine();
  EXPECT_EQ(engine.GetCaps("MaxAnisotropy", 0), engine.GetCaps("maxanisotropy", 0));
  EXPECT_GE(engine.GetCaps("MAXTEXWIDTH", 0), 2048u);
  EXPECT_EQ(engine.GetCaps("maxtexheight", 0), engine.GetCaps("maxtexwidth", 0));
  EXPECT_EQ(engine.GetCaps("pixelshaderversion", 0), PixelShaderVersion(3, 0));
  EXPECT_NE(engine.GetCaps("raster", 0) & kRasterMipLodBias, 0u);
  EXPECT_EQ(engine.GetCaps("no such capability", 0), 0u);
  EXPECT_EQ(engine.ShaderLevel(0), 2);
  TAdapterIdentity identity;
  ASSERT_TRUE(engine.GetAdapterIdentity(0, identity));
  EXPECT_FALSE(identity.Version.empty());
  EXPECT_TRUE(engine.IsReady());
}

TEST_F(Engine, TheAdapterIsTheMonitorThatOverlapsMost) {
  T3DEngine& engine = *Get3DEngine();
  TAdapterMode mode;
  ASSERT_TRUE(engine.GetAdapterMode(0, mode));
  EXPECT_FALSE(mode.Monitor.IsEmpty());
  EXPECT_EQ(engine.FindAdapter({10, 10, 20, 20}), 0);
  EXPECT_EQ(engine.FindAdapter({-500, -500, -400, -400}), 0);  // none overlaps
  EXPECT_FALSE(engine.GetAdapterMode(99, mode));
}

using ScreenLife = GLScreenTest;

TEST_F(ScreenLife, AssigningTheSameWindowedDeviceTwiceKeepsTheRenderer) {
  TLogCapture log;
  T3DScreen screen;
  screen.AssignDevice(&fWindow->Device());
  T3DRenderer* renderer = screen.Renderer();
  ASSERT_NE(renderer, nullptr);
  screen.AssignDevice(&fWindow->Device());
  EXPECT_EQ(log.Count("T3DScreen.AssignDevice, Exit By Same FullScreen Or Same Windowed"), 1);
  EXPECT_EQ(log.Starting("T3DScreen.AssignDevice, bounds= ").size(), 2u);
  EXPECT_EQ(screen.Renderer(), renderer);
}

TEST_F(ScreenLife, NewBoundsMakeANewRendererThatKeepsTheDeviceAndItsTextures) {
  auto texture = Plain(Screen(), MakeColor(0, 200, 0));
  ASSERT_NE(texture->GetTexture(), nullptr);
  int released = 0;
  Screen().OnRelease = [&] { ++released; };
  fWindow->Device().SetBounds({0, 0, 64, 48}, fWindow->Device().Origin(), false);
  TLogCapture log;
  ASSERT_TRUE(Screen().BeginScene());
  EXPECT_EQ(released, 1);
  EXPECT_EQ(log.Starting("T3DScreen.BeginScene, R= ").size(), 1u);
  EXPECT_EQ(Screen().Bounds(), (TRect{0, 0, 64, 48}));
  // The store stayed, so the texture kept its device texture.
  EXPECT_NE(texture->DeviceTexture(), nullptr);
  EXPECT_EQ(texture->FillCount(), 1);
  Screen().Clear(MakeColor(0, 0, 0), false);
  Quad({texture.get()}, {0, 0, 64, 48}, MakeColor(255, 255, 255));
  EXPECT_COLOR_NEAR(Pixel(30, 20), MakeColor(0, 200, 0), 0);
}

TEST_F(ScreenLife, ADisposedDeviceLeavesTheScreenWithoutOne) {
  auto texture = Plain(Screen(), MakeColor(1, 2, 3));
  ASSERT_NE(texture->GetTexture(), nullptr);
  Screen().Release();
  fWindow->FreeDevice();
  EXPECT_EQ(Screen().Device(), nullptr);
  // The device's store went with it: the texture is an empty shell.
  EXPECT_EQ(texture->DeviceTexture(), nullptr);
  EXPECT_FALSE(Screen().BeginScene());
  EXPECT_FALSE(Screen().IsReady());
}

TEST_F(ScreenLife, ASimulatedDeviceLossIsFollowedByAFrameThatDrawsTheSamePixels) {
  auto picture = std::make_unique<TGeneratedTexture>(&Screen(), kTexKindPicture, 40, 30, [](int x, int y) {
    return MakeColor(static_cast<uint32_t>(x * 6), static_cast<uint32_t>(y * 8), 90);
  });
  TShader shader(&Screen(), "uniform vec4 pc[1]; layout(location = 0) out vec4 color; void main() { color = pc[0]; }",
                 false);
  ASSERT_NE(shader.DeviceShader(), nullptr);
  auto frame = [&]() -> std::unique_ptr<TDirectBitmap> {
    if (!Screen().BeginScene()) return nullptr;
    Screen().Clear(MakeColor(30, 30, 30), false);
    Quad({picture.get()}, {10, 10, 90, 70}, MakeColor(255, 255, 255));
    Screen().Batcher().Flush();
    const float yellow[4] = {1, 1, 0, 1};
    Renderer().SetShaderConstants(false, 0, yellow, 1);
    Renderer().SetShader(shader.DeviceShader());
    Quad({}, {100, 10, 120, 30}, MakeColor(255, 255, 255));
    Renderer().SetShader(nullptr);
    auto pixels = ReadBack();
    Screen().EndScene(false);
    return pixels;
  };
  auto before = frame();
  ASSERT_NE(before, nullptr);
  EXPECT_COLOR_NEAR(before->PixelColor(110, 20), MakeColor(255, 255, 0), 0);

  TLogCapture log;
  T3DRenderer* lost = Screen().Renderer();
  lost->SimulateDeviceLoss();
  auto after = frame();
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(log.Count("T3DRenderer9: DEVICE LOST!"), 1);
  EXPECT_EQ(picture->FillCount(), 2);  // uploaded again from its content
  for (int y = 0; y < kHeight; y += 3) {
    for (int x = 0; x < kWidth; x += 3) {
      ASSERT_EQ(after->PixelColor(x, y), before->PixelColor(x, y)) << x << "," << y;
    }
  }
}

TEST_F(ScreenLife, ARendererThatLostItsDeviceMakesNoTextures) {
  auto& renderer = Renderer();
  renderer.SimulateDeviceLoss();
  EXPECT_EQ(renderer.CreateTexture(kTexKindPicture, 32, 32, false), nullptr);
  EXPECT_EQ(renderer.LostState(), kLostDevice);
  EXPECT_EQ(renderer.CreateTexture(kTexKindPicture, 32, 32, false), nullptr);
  EXPECT_EQ(renderer.LostState(), kLostDevice);
  EXPECT_FALSE(Screen().IsReady());
  EXPECT_TRUE(Screen().BeginScene());  // and the screen makes everything anew
}

TEST_F(ScreenLife, ATargetOnTheStackKeepsItsRectangleThroughADeviceLoss) {
  TRenderTargetTexture target(&Screen());
  target.SetSize(40, 30);  // a 64 x 32 device texture
  T3DTexture* device = target.GetTexture();
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(Screen().PushRenderTarget(*device, 10, 20));
  const TRect pushed = TRect::FromSize(10, 20, 64, 32);
  EXPECT_EQ(Screen().GetTargetRect(), pushed);
  TLogCapture log;
  Renderer().SimulateDeviceLoss();
  // The next call finds the device lost: the store goes, and every render
  // target gives its device texture up while it is still on the stack.
  EXPECT_EQ(Renderer().CreateTexture(kTexKindPicture, 32, 32, false), nullptr);
  EXPECT_EQ(log.Count("T3DRenderer9: DEVICE LOST!"), 1);
  EXPECT_EQ(target.DeviceTexture(), nullptr);
  EXPECT_EQ(Screen().GetTargetRect(), pushed);
  EXPECT_TRUE(Screen().PopRenderTarget());
  EXPECT_TRUE(Screen().BeginScene());
  EXPECT_EQ(Screen().RenderTargetDepth(), 1);
  EXPECT_EQ(Screen().GetTargetRect(), (TRect{0, 0, kWidth, kHeight}));
}

TEST_F(ScreenLife, ATargetReleasedWhileOnTheStackTakesNoMoreDrawing) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  TRenderTargetTexture outer(&Screen());
  outer.SetSize(64, 64);
  TRenderTargetTexture inner(&Screen());
  inner.SetSize(32, 32);
  ASSERT_NE(outer.GetTexture(), nullptr);
  ASSERT_NE(inner.GetTexture(), nullptr);
  ASSERT_TRUE(Screen().PushRenderTarget(*outer.GetTexture(), 0, 0));
  ASSERT_TRUE(Screen().PushRenderTarget(*inner.GetTexture(), 8, 8));
  inner.Release();
  EXPECT_EQ(Screen().GetTargetRect(), TRect::FromSize(8, 8, 32, 32));
  outer.Release();
  EXPECT_TRUE(Screen().PopRenderTarget());
  EXPECT_EQ(Screen().GetTargetRect(), TRect::FromSize(0, 0, 64, 64));
  // Drawing meant for the released target goes nowhere.
  Quad({}, {0, 0, 40, 40}, MakeColor(255, 0, 0));
  EXPECT_TRUE(Screen().PopRenderTarget());
  EXPECT_COLOR_NEAR(Pixel(20, 20), MakeColor(0, 0, 0), 0);
  Quad({}, {0, 0, 40, 40}, MakeColor(0, 255, 0));
  EXPECT_COLOR_NEAR(Pixel(20, 20), MakeColor(0, 255, 0), 0);
}

TEST_F(ScreenLife, ACallFromAnotherThreadIsRefusedAndTheDeviceIsNotLost) {
  // This thread drew last, so the context is current here.
  ASSERT_TRUE(Screen().Clear(MakeColor(0, 0, 0), false));
  TLogCapture log;
  std::unique_ptr<T3DTexture> made;
  uint8_t error = kResultOk;
  bool cleared = true;
  std::thread other([&] {
    made = Renderer().CreateTexture(kTexKindPicture, 32, 32, false);
    error = Renderer().LastError();
    const TRect rects[1] = {{0, 0, 8, 8}};
    cleared = Renderer().Clear(rects, kClearTarget, 1.0f, MakeColor(255, 0, 0));
  });
  other.join();
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(error, kResultInvalidCall);
  EXPECT_FALSE(cleared);
  EXPECT_EQ(Renderer().LostState(), kLostNone);
  EXPECT_EQ(log.Count("T3DRenderer9: DEVICE LOST!"), 0);
  EXPECT_EQ(log.Count("Dx Error = 3"), 0);
  EXPECT_TRUE(Screen().IsReady());
  // The device still draws here, with what it had.
  auto texture = Plain(Screen(), MakeColor(0, 200, 0));
  ASSERT_NE(texture->GetTexture(), nullptr);
  Quad({texture.get()}, {0, 0, 16, 16}, MakeColor(255, 255, 255));
  EXPECT_COLOR_NEAR(Pixel(4, 4), MakeColor(0, 200, 0), 0);
  ASSERT_TRUE(Screen().BeginScene());
}

TEST_F(ScreenLife, AnUnknownTextureKindIsAProgrammingError) {
  testing_support::TAssertionCapture capture;
  EXPECT_THROW(Renderer().CreateTexture(5, 32, 32, false), EAssertionFailed);
  EXPECT_THROW(Renderer().SetTransform(3, T3DMatrix::Identity()), EAssertionFailed);
  TDirectBitmap nothing(1, 1, FormatA8R8G8B8());
  auto picture = Renderer().CreateTexture(kTexKindPicture, 32, 32, false);
  EXPECT_THROW(Renderer().SetRenderTarget(picture->GetSurface(0)), EAssertionFailed);
}

TEST_F(ScreenLife, PresentSleepsWhatIsLeftOfTheRefreshPeriod) {
  TVirtualClock clock(1000, true);
  TClockOverride use(clock);
  T3DRenderer& renderer = Renderer();
  const int64_t period = RefreshPeriodMs(renderer.RefreshRate());
  ASSERT_TRUE(renderer.Present({}, {}));
  clock.Advance(5);
  const uint64_t before = clock.Milliseconds();
  ASSERT_TRUE(renderer.Present({}, {}));
  EXPECT_EQ(static_cast<int64_t>(clock.Milliseconds() - before), PresentSleepMs(period, 5));
  clock.Advance(40);
  const uint64_t late = clock.Milliseconds();
  ASSERT_TRUE(renderer.Present({}, {}));
  EXPECT_EQ(clock.Milliseconds() - late, 1u);
}

TEST_F(ScreenLife, AFullScreenDeviceCoversItsMonitor) {
  TAdapterMode mode;
  ASSERT_TRUE(Get3DEngine()->GetAdapterMode(0, mode));
  const int w = mode.Monitor.Width();
  const int h = mode.Monitor.Height();
  // The offscreen driver keeps a window's first size for its GL surface, so
  // the window starts at the monitor's size.
  auto window = TDeviceWindow::Create(w, h, false);
  ASSERT_NE(window, nullptr);
  T3DScreen screen;
  screen.AssignDevice(&window->Device());
  ASSERT_TRUE(screen.BeginScene());
  auto texture = Plain(screen, MakeColor(0, 0, 250));
  ASSERT_NE(texture->GetTexture(), nullptr);
  // The windowed placement to come back to.
  SDL_SetWindowPosition(window->Window(), 40, 30);
  SDL_SetWindowSize(window->Window(), w / 2, h / 2);
  auto placement = [&] {
    int px = 0;
    int py = 0;
    int pw = 0;
    int ph = 0;
    SDL_GetWindowPosition(window->Window(), &px, &py);
    SDL_GetWindowSize(window->Window(), &pw, &ph);
    return TRect::FromSize(px, py, pw, ph);
  };
  ASSERT_EQ(placement(), TRect::FromSize(40, 30, w / 2, h / 2));
  ASSERT_EQ(SDL_GetWindowFlags(window->Window()) & SDL_WINDOW_BORDERLESS, 0u);

  TLogCapture log;
  window->Device().SetBounds({0, 0, w, h}, {0, 0}, true);
  ASSERT_TRUE(screen.BeginScene());
  EXPECT_EQ(screen.Bounds(), mode.Monitor);
  EXPECT_TRUE(screen.Renderer()->FullScreen());
  EXPECT_FALSE(screen.Renderer()->Exclusive());
  EXPECT_EQ(log.Starting("Setwndposlocal ").size(), 1u);
  int x = -1;
  int y = -1;
  SDL_GetWindowPosition(window->Window(), &x, &y);
  EXPECT_EQ(x, mode.Monitor.Left);
  EXPECT_EQ(y, mode.Monitor.Top);
  EXPECT_EQ(placement(), mode.Monitor);
  // Full screen is borderless. SDL's offscreen driver cannot take a border
  // away (it keeps the flag as it was), so there only placement and size
  // can be seen to change; any other driver must report no border.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::string(driver) != "offscreen") {
    EXPECT_NE(SDL_GetWindowFlags(window->Window()) & SDL_WINDOW_BORDERLESS, 0u);
  }
  // Entering full screen released the device objects; they come back on use.
  EXPECT_EQ(texture->DeviceTexture(), nullptr);
  screen.Clear(MakeColor(0, 0, 0), false);
  TVertexBuffer& batcher = screen.Batcher();
  TCustomTexture* bound[1] = {texture.get()};
  batcher.Begin(bound);
  const TColor white[3] = {~0u, ~0u, ~0u};
  const TTriangleCoords coords[1] = {{{{0, 0}, {16, 0}, {16, 16}}}};
  batcher.AddTriangle({{100, 100, 0}, {300, 100, 0}, {300, 300, 0}}, white, coords);
  batcher.Flush();
  TDirectBitmap pixels(w, h, FormatA8R8G8B8());
  ASSERT_TRUE(screen.Renderer()->GetBackBuffer()->CopyToBitmap(pixels));
  EXPECT_COLOR_NEAR(pixels.PixelColor(250, 150), MakeColor(0, 0, 250), 0);
  EXPECT_COLOR_NEAR(pixels.PixelColor(w - 2, h - 2), MakeColor(0, 0, 0), 0);
  // Leaving it, the full-screen renderer restores the window's rectangle.
  window->Device().SetBounds({0, 0, 100, 80}, {0, 0}, false);
  ASSERT_TRUE(screen.BeginScene());
  EXPECT_EQ(log.Starting("Dispose FullScreen, R= ").size(), 1u);
  EXPECT_FALSE(screen.Renderer()->FullScreen());
  // Leaving it, the window gets back its place, its size and its border.
  EXPECT_EQ(placement(), TRect::FromSize(40, 30, w / 2, h / 2));
  EXPECT_EQ(SDL_GetWindowFlags(window->Window()) & SDL_WINDOW_BORDERLESS, 0u);
}

// --- The video-memory retry.

class VideoMemory : public GLScreenTest {
 protected:
  static constexpr size_t kPicture = 64 * 64 * 4;

  void MakePictures(int n) {
    for (int i = 0; i < n; ++i) {
      fPictures.push_back(Plain(Screen(), MakeColor(10u * static_cast<uint32_t>(i), 0, 0), 64));
      ASSERT_NE(fPictures.back()->GetTexture(), nullptr);
    }
  }
  std::vector<bool> Held() {
    std::vector<bool> held;
    for (auto& p : fPictures) held.push_back(p->DeviceTexture() != nullptr);
    return held;
  }
  std::vector<std::unique_ptr<TGeneratedTexture>> fPictures;
};

TEST_F(VideoMemory, PictureTexturesAreReleasedByHalvesWhileARenderTargetDoesNotFit) {
  MakePictures(10);
  // Nothing more fits, even with every picture gone.
  Renderer().SetVideoMemoryBudget(Renderer().VideoMemoryInUse() + 1);
  TLogCapture log;
  TRenderTargetTexture target(&Screen());
  target.SetSize(512, 512);
  EXPECT_EQ(target.GetTexture(), nullptr);
  EXPECT_EQ(Renderer().LastError(), kResultOutOfVideoMemory);
  EXPECT_EQ(log.Starting("Rt Create First Attempt Ok= "), std::vector<std::string>{"Rt Create First Attempt Ok= 0"});
  EXPECT_EQ(log.Starting("Managed Texs count= "), std::vector<std::string>{"Managed Texs count= 10"});
  EXPECT_EQ(log.Starting("Released Managed Texs"),
            (std::vector<std::string>{"Released Managed Texs from 9 to 5; Rt Create 1nd Attempt Ok= 0",
                                      "Released Managed Texs from 4 to 2; Rt Create 2nd Attempt Ok= 0",
                                      "Released Managed Texs from 1 to 1; Rt Create 3nd Attempt Ok= 0",
                                      "Released Managed Texs from 0 to 0; Rt Create 4nd Attempt Ok= 0"}));
  EXPECT_EQ(Held(), std::vector<bool>(10, false));
  EXPECT_GE(log.Count("Dx Error = 2"), 5);
}

TEST_F(VideoMemory, ReleasingStopsAtThePassAfterWhichTheTargetFits) {
  MakePictures(10);
  // Room for a 64 x 64 target once three pictures are gone, not before.
  Renderer().SetVideoMemoryBudget(Renderer().VideoMemoryInUse() + 2 * kPicture);
  TLogCapture log;
  TRenderTargetTexture target(&Screen());
  target.SetSize(100, 100);  // a 128 x 128 device texture: four pictures' worth
  EXPECT_NE(target.GetTexture(), nullptr);
  EXPECT_EQ(log.Starting("Released Managed Texs"),
            (std::vector<std::string>{"Released Managed Texs from 9 to 5; Rt Create 1nd Attempt Ok= 1"}));
  EXPECT_EQ(Held(), (std::vector<bool>{true, true, true, true, true, false, false, false, false, false}));
  // A released picture makes and fills itself again when it is next drawn.
  Renderer().SetVideoMemoryBudget(0);
  Quad({fPictures[7].get()}, {0, 0, 16, 16}, MakeColor(255, 255, 255));
  EXPECT_NE(fPictures[7]->DeviceTexture(), nullptr);
  EXPECT_EQ(fPictures[7]->FillCount(), 2);
  EXPECT_COLOR_NEAR(Pixel(8, 8), MakeColor(70, 0, 0), 0);
}

TEST_F(VideoMemory, APowerOfTwoCountReleasesEveryPosition) {
  MakePictures(8);
  Renderer().SetVideoMemoryBudget(Renderer().VideoMemoryInUse() + 1);
  TLogCapture log;
  TRenderTargetTexture target(&Screen());
  target.SetSize(512, 512);
  EXPECT_EQ(target.GetTexture(), nullptr);
  EXPECT_EQ(log.Starting("Released Managed Texs").back(),
            "Released Managed Texs from 0 to 0; Rt Create 4nd Attempt Ok= 0");
  EXPECT_EQ(Held(), std::vector<bool>(8, false));
}

// --- Shaders.

using Shaders = GLScreenTest;

TEST_F(Shaders, APixelShaderFromGlslDrawsWithItsConstantsAndTextures) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  auto texture = Plain(Screen(), MakeColor(200, 100, 50));
  TShader shader(&Screen(),
                 "uniform vec4 pc[2];\nuniform sampler2D uTex0;\nin vec2 vTex0;\n"
                 "layout(location = 0) out vec4 color;\n"
                 "void main() { color = vec4(texture(uTex0, vTex0).bgr, 1.0) * pc[0] + pc[1]; }\n",
                 false);
  ASSERT_NE(shader.DeviceShader(), nullptr);
  const float constants[8] = {1, 0.5f, 1, 1, 0, 0, 0.2f, 0};
  ASSERT_TRUE(Renderer().SetShaderConstants(false, 0, constants, 2));
  ASSERT_TRUE(Renderer().SetShader(shader.DeviceShader()));
  Quad({texture.get()}, {0, 0, 32, 32}, MakeColor(255, 255, 255));
  ASSERT_TRUE(Renderer().SetShader(nullptr));
  Quad({texture.get()}, {40, 0, 72, 32}, MakeColor(255, 255, 255));
  // Blue and red swapped, green halved, 0.2 added to blue.
  EXPECT_COLOR_NEAR(Pixel(10, 10), MakeColor(50, 50, 251), 1);
  EXPECT_COLOR_NEAR(Pixel(50, 10), MakeColor(200, 100, 50), 0);
}

TEST_F(Shaders, AVertexShaderFromGlslPlacesVerticesItself) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  // Moves everything right by half the target (one unit of clip space).
  TShader shader(&Screen(),
                 "#version 330 core\nlayout(location = 0) in vec3 aPosition;\nlayout(location = 1) in vec4 aColor;\n"
                 "uniform vec4 vc[1];\nout vec4 vColor;\n"
                 "void main() { gl_Position = vec4(aPosition.xy + vc[0].xy, 0.0, 1.0); vColor = aColor; }\n",
                 true);
  ASSERT_NE(shader.DeviceShader(), nullptr);
  const float shift[4] = {1, 0, 0, 0};
  Renderer().SetShaderConstants(true, 0, shift, 1);
  Renderer().SetShader(shader.DeviceShader());
  Quad({}, {0, 0, 32, 32}, MakeColor(255, 0, 255));
  Renderer().SetShader(nullptr);
  auto pixels = ReadBack();
  EXPECT_COLOR_NEAR(pixels->PixelColor(10 + kWidth / 2, 10), MakeColor(255, 0, 255), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(10, 10), MakeColor(0, 0, 0), 0);
}

TEST_F(Shaders, ASourceThatDoesNotCompileGivesNoShader) {
  TLogCapture log;
  TShader shader(&Screen(), "this is not GLSL", false);
  EXPECT_EQ(shader.DeviceShader(), nullptr);
  EXPECT_EQ(Renderer().LastError(), kResultInvalidCall);
  EXPECT_FALSE(Renderer().SetShaderConstants(false, 220, std::vector<float>(40, 0.0f), 10));
}

// --- The batcher on a device.

using Batching = GLScreenTest;

TEST_F(Batching, TheDrawFlagsFollowTexturesOpacityAndPremultiplication) {
  TVertexBuffer& batcher = Screen().Batcher();
  auto plain = Plain(Screen(), MakeColor(255, 0, 0));
  Quad({}, {0, 0, 8, 8}, MakeColor(255, 255, 255));
  EXPECT_EQ(batcher.LastFlags(), kDrawModulateColor | kDrawModulateAlpha);
  Quad({plain.get()}, {0, 0, 8, 8}, MakeColor(255, 255, 255));
  EXPECT_EQ(batcher.LastFlags(), kDrawTextured | kDrawModulateAlpha);  // modulate alpha is on by default
  batcher.ModulateAlpha = false;
  Quad({plain.get()}, {0, 0, 8, 8}, MakeColor(255, 255, 255));
  EXPECT_EQ(batcher.LastFlags(), kDrawTextured);
  plain->SetOpacity(100);
  Quad({plain.get()}, {0, 0, 8, 8}, MakeColor(255, 255, 255));
  EXPECT_EQ(batcher.LastFlags(), kDrawTextured | kDrawModulateAlpha);
  batcher.FullModulation = true;
  Quad({plain.get()}, {0, 0, 8, 8}, MakeColor(255, 255, 255));
  EXPECT_EQ(batcher.LastFlags(), kDrawTextured | kDrawModulateColor | kDrawModulateAlpha);
  batcher.FullModulation = false;
  auto other = Plain(Screen(), MakeColor(0, 255, 0));
  batcher.ModulateAlpha = false;
  Quad({plain.get(), other.get()}, {0, 0, 8, 8}, MakeColor(255, 255, 255));
  EXPECT_EQ(batcher.LastFlags(), kDrawTextured);
}

TEST_F(Batching, AFullBatchIsDrawnAndTheNextStartsWithTheSameTextures) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  TVertexBuffer batcher(&Screen());
  batcher.SetCapacity(2, 1);
  auto texture = Plain(Screen(), MakeColor(0, 0, 255));
  TCustomTexture* textures[1] = {texture.get()};
  batcher.Begin(textures);
  const TColor white[3] = {~0u, ~0u, ~0u};
  const TTriangleCoords coords[1] = {{{{0, 0}, {16, 0}, {16, 16}}}};
  for (int i = 0; i < 5; ++i) {
    const float x = 10.0f + 20.0f * static_cast<float>(i);
    batcher.AddTriangle({{x, 10, 0}, {x + 16, 10, 0}, {x + 16, 26, 0}}, white, coords);
  }
  EXPECT_EQ(batcher.TriangleCount(), 1);
  batcher.Flush();
  auto pixels = ReadBack();
  for (int i = 0; i < 5; ++i) {
    EXPECT_COLOR_NEAR(pixels->PixelColor(22 + 20 * i, 14), MakeColor(0, 0, 255), 0) << "triangle " << i;
  }
}

TEST_F(Batching, SecondTextureCoordinatesReachAListMadeForFewerSets) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  TVertexBuffer batcher(&Screen());
  auto red = Plain(Screen(), MakeColor(255, 0, 0));
  TCustomTexture* one[1] = {red.get()};
  batcher.Begin(one);  // a list with one coordinate set
  EXPECT_EQ(batcher.TexCoordSets(), 1);
  TGeneratedTexture halves(&Screen(), kTexKindPicture, 16, 16,
                           [](int x, int) { return x < 8 ? MakeColor(255, 255, 255) : MakeColor(0, 0, 0); });
  halves.SetNearest(true);
  TCustomTexture* two[2] = {red.get(), &halves};
  batcher.Begin(two);
  EXPECT_EQ(batcher.TexCoordSets(), 2);
  batcher.FullModulation = true;
  const TColor white[3] = {~0u, ~0u, ~0u};
  const TTriangleCoords coords[2] = {{{{0, 0}, {16, 0}, {16, 16}}}, {{{0, 0}, {16, 0}, {16, 16}}}};
  batcher.AddTriangle({{0, 0, 0}, {64, 0, 0}, {64, 64, 0}}, white, coords);
  batcher.Flush();
  // Each stage modulates the one before: red times the second texture is
  // red on its left half and black on the right.
  EXPECT_COLOR_NEAR(Pixel(30, 4), MakeColor(255, 0, 0), 0);
  EXPECT_COLOR_NEAR(Pixel(60, 30), MakeColor(0, 0, 0), 0);
}

// --- The engine's life.

TEST(EngineLife, AnEngineThatCannotBeMadeIsNotTriedAgainUntilFreed) {
  Free3DEngine();
  setenv("SDL_VIDEODRIVER", "zel-no-such-driver", 1);
  {
    TLogCapture log;
    EXPECT_EQ(Get3DEngine(), nullptr);
    EXPECT_EQ(Get3DEngine(), nullptr);
    EXPECT_EQ(Get3DEngine(), nullptr);
    // The video system was started (and refused) once.
    EXPECT_EQ(log.Starting("SDL video: ").size(), 1u);
  }
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  EXPECT_EQ(Get3DEngine(), nullptr);  // still remembered
  Free3DEngine();
  if (!Get3DEngine()) ZEL_NO_GL_HERE();
}

// --- Renderers asked for off the interface thread.

TEST(InterfaceThread, CapabilitiesAskedForOffTheInterfaceThreadWaitForTheHiddenDevice) {
  if (!Get3DEngine()) ZEL_NO_GL_HERE();
  Free3DEngine();
  {
    TVxApplication app;
    std::atomic<int> stage{0};
    uint32_t width = 0;
    int level = -1;
    std::thread other([&] {
      // Opened here, the engine has the interface thread make its device.
      T3DEngine* engine = Get3DEngine();
      stage = 1;
      if (engine) {
        width = engine->GetCaps("maxtexwidth", 0);
        level = engine->ShaderLevel(0);
      }
      stage = 2;
    });
    while (stage == 0) std::this_thread::yield();
    while (stage != 2) {
      app.ProcessMessages();
      std::this_thread::yield();
    }
    other.join();
    EXPECT_GE(width, 2048u);
    EXPECT_EQ(level, 2);
    Free3DEngine();
    app.Finalise();
  }
}

TEST(InterfaceThread, ARendererAskedForOnTheDrawingThreadIsMadeOnTheInterfaceThread) {
  if (!Get3DEngine()) ZEL_NO_GL_HERE();
  {
    TVxApplication app;
    auto window = TDeviceWindow::Create(64, 64, false);
    ASSERT_NE(window, nullptr);
    T3DScreen screen;
    std::atomic<int> stage{0};
    std::atomic<bool> pendingFailed{false};
    TColor seen = 0;
    std::thread drawing([&] {
      screen.AssignDevice(&window->Device());
      // Until the interface thread made it, the renderer cannot draw.
      pendingFailed = !screen.BeginScene();
      stage = 1;
      while (stage != 2) std::this_thread::yield();
      if (screen.BeginScene()) {
        screen.Clear(MakeColor(12, 34, 56), false);
        TDirectBitmap pixels(64, 64, FormatA8R8G8B8());
        if (screen.Renderer()->GetBackBuffer()->CopyToBitmap(pixels)) seen = pixels.PixelColor(3, 3);
        screen.EndScene(false);
      }
      // The thread ends: it gives the device up.
      screen.LeaveThread();
      stage = 3;
    });
    while (stage != 1) std::this_thread::yield();
    app.ProcessMessages();
    stage = 2;
    while (stage != 3) std::this_thread::yield();
    drawing.join();
    EXPECT_TRUE(pendingFailed);
    EXPECT_COLOR_NEAR(seen, MakeColor(12, 34, 56), 0);
    // The drawing thread's screen goes on this thread, with the context
    // current nowhere but there.
    app.Finalise();
  }
  Free3DEngine();
}

}  // namespace
}  // namespace zel
