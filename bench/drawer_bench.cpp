// Frames of 1920 x 1080 through the object drawer on the offscreen GL
// device: 30 pictures of 12 megapixels (4,000 x 3,000, drawn to cover the
// frame, so at level 1), with soft edges, one of them blurred, the whole
// frame sharpened; beside the pure fill cost of the same frame on raw GL:
// one full-screen textured, blended quad per layer the drawer draws (the
// 30 pictures, the blur's extra layers at full and half size, the
// sharpening pass), in the same run. vs_raw is the wall-time ratio; the
// drawer's cost over the layers is vs_raw - 1.
//
// Argument 0: the pictures alone beside as many raw layers; 1: the whole
// frame as described.
//
// BM_Upload12MP: making a new 12-megapixel picture's tiles and sending
// them to the device at level 0.
//
//   build/bench/drawer_bench --benchmark_min_time=2
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/bitmap_store.h"
#include "imaging/pixel_format.h"
#include "raw_gl.h"
#include "render/draw_device.h"
#include "render/drawer_3d.h"
#include "render/engine_3d.h"
#include "render/tiled_texture.h"

namespace zel {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPictures = 30;
constexpr int kPictureWidth = 4000;
constexpr int kPictureHeight = 3000;
// Blur 5 on 1,920 pixels: radius 9.6, one pass pair at half size.
constexpr float kBlur = 5;
constexpr float kSharpen = -0.05f;
// Full-screen layers: the pictures, the blur (its picture into a target,
// a quarter-size copy, two passes at a quarter, the result stretched over
// the frame: 1.75 over the picture itself) and the sharpening pass.
constexpr double kRawLayers = kPictures + 1.75 + 1;

// A picture decoded straight at the level asked for, as the JPEG decoder
// does with its scaling: no level-0 bitmap is ever made for smaller levels.
class TSyntheticStore : public TSysBitmapStore {
 public:
  explicit TSyntheticStore(int seed)
      : TSysBitmapStore(u"synthetic", kPictureWidth, kPictureHeight, FormatA8R8G8B8()), fSeed(seed) {}

 protected:
  std::unique_ptr<TBitmap> ReadNativeLevel(int level) override {
    const int w = std::max(1, kPictureWidth >> level), h = std::max(1, kPictureHeight >> level);
    auto bitmap = std::make_unique<TDirectBitmap>(w, h, FormatA8R8G8B8());
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bitmap->ScanLine(y));
      for (int x = 0; x < w; ++x) {
        row[x] = MakeColor(static_cast<uint32_t>((x + fSeed * 8) & 0xFF), static_cast<uint32_t>((y * 3) & 0xFF),
                           static_cast<uint32_t>((x ^ y) & 0xFF), 255);
      }
    }
    return bitmap;
  }

 private:
  int fSeed;
};

std::unique_ptr<TImage> SyntheticPicture(int seed) { return std::make_unique<TImage>(MakeRef<TSyntheticStore>(seed)); }

// Per scene (0: the pictures alone, 1: with the blur and sharpening).
double gRawSecondsPerFrame[2] = {0, 0};

// Without a display unless one is asked for; set before SDL's video starts.
const bool gOffscreen = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();

class TPictureLayer : public TDrawItem {
 public:
  TPictureLayer(TImage& picture, int index, float blur) : fPicture(picture), fIndex(index), fBlur(blur) {}
  float GetBlur() const override { return fBlur; }
  void Draw(TDeviceDrawer& drawer) override {
    TImageDrawParams params;
    params.level = LevelForSize(kPictureWidth, kPictureHeight, kWidth, kHeight);
    params.antialiased = 1;
    params.opacity = 90;
    // Covering the frame: 4,000 pixels across 1,920 (and a little more).
    const double scale = 1.0 * kWidth / kPictureWidth;
    drawer.DrawImage(fPicture, {static_cast<double>(fIndex % 3) - 1, -20.0 - fIndex % 5, 0}, params, {scale, 0, 0},
                     {0, scale, 0}, {0, 0});
  }

 private:
  TImage& fPicture;
  int fIndex;
  float fBlur;
};

class TFrame : public TDrawItem {
 public:
  explicit TFrame(float sharpen) : fSharpen(sharpen) {}
  std::vector<std::unique_ptr<TPictureLayer>> Layers;
  float GetBlur() const override { return fSharpen; }
  void Draw(TDeviceDrawer& drawer) override {
    drawer.Clear(0xFF000000, true);
    for (auto& layer : Layers) drawer.Draw(*layer);
  }

 private:
  float fSharpen;
};

void BM_RawLayers(benchmark::State& state) {
  bench::TRawGLWindow raw(kWidth, kHeight);
  if (!raw.Ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  SDL_Window* window = raw.Window();
  const char* vertex = R"(#version 330 core
layout(location = 0) in vec2 aPos;
out vec2 vTex;
void main() { gl_Position = vec4(aPos, 0.0, 1.0); vTex = aPos * 0.5 + 0.5; })";
  const char* fragment = R"(#version 330 core
in vec2 vTex;
uniform sampler2D uTex;
out vec4 color;
void main() { color = texture(uTex, vTex) * vec4(1.0, 1.0, 1.0, 0.9); })";
  raw.UseProgram(vertex, fragment);
  // Textures of the pictures' drawn level, one per picture.
  const int tw = kPictureWidth / 2, th = kPictureHeight / 2;
  std::vector<GLuint> textures(kPictures);
  glGenTextures(kPictures, textures.data());
  std::vector<uint32_t> pixels(static_cast<size_t>(tw) * th);
  for (int t = 0; t < kPictures; ++t) {
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(t)]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  }
  const float quad[12] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};
  GLuint vao = 0, vbo = 0;
  glGenVertexArrays(1, &vao);
  glGenBuffers(1, &vbo);
  glBindVertexArray(vao);
  glBindBuffer(GL_ARRAY_BUFFER, vbo);
  glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 8, nullptr);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glViewport(0, 0, kWidth, kHeight);
  const bool passes = state.range(0) != 0;
  const double layers = passes ? kRawLayers : kPictures;
  const int wholeLayers = static_cast<int>(layers);
  const uint64_t start = SDL_GetPerformanceCounter();
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT);
    for (int i = 0; i < wholeLayers; ++i) {
      glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(i % kPictures)]);
      glDrawArrays(GL_TRIANGLES, 0, 6);
    }
    // The fraction of a layer left: a quad over that share of the frame.
    glViewport(0, 0, static_cast<GLsizei>(kWidth * (layers - wholeLayers)), kHeight);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glViewport(0, 0, kWidth, kHeight);
    SDL_GL_SwapWindow(window);
    glFinish();
  }
  const double seconds =
      static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(SDL_GetPerformanceFrequency());
  double& perFrame = gRawSecondsPerFrame[passes ? 1 : 0];
  perFrame = seconds / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
  state.counters["fps"] = 1.0 / perFrame;
  state.counters["layers"] = layers;
  glDeleteTextures(kPictures, textures.data());
  glDeleteBuffers(1, &vbo);
  glDeleteVertexArrays(1, &vao);
}

void BM_Drawer(benchmark::State& state) {
  T3DEngineScope engine;
  auto window = TDeviceWindow::Create(kWidth, kHeight, false, "drawer bench");
  if (!window) {
    state.SkipWithError("no device window");
    return;
  }
  std::vector<std::unique_ptr<TImage>> pictures;
  const bool passes = state.range(0) != 0;
  TFrame frame(passes ? kSharpen : 0);
  for (int i = 0; i < kPictures; ++i) {
    pictures.push_back(SyntheticPicture(i));
    frame.Layers.push_back(
        std::make_unique<TPictureLayer>(*pictures.back(), i, passes && i == kPictures / 2 ? kBlur : 0));
  }
  {
    T3DDrawer drawer;
    drawer.Init(&window->Device());
    drawer.SetFrameNotification([](TDeviceDrawer&, TDrawItem*, TFrameStage) {});
    // The first frame decodes and uploads every picture.
    drawer.Draw(frame);
    glFinish();
    const uint64_t start = SDL_GetPerformanceCounter();
    for (auto _ : state) {
      drawer.Draw(frame);
      glFinish();
    }
    const double seconds =
        static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(SDL_GetPerformanceFrequency());
    const double perFrame = seconds / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["fps"] = 1.0 / perFrame;
    const double raw = gRawSecondsPerFrame[passes ? 1 : 0];
    if (raw > 0) state.counters["vs_raw"] = perFrame / raw;
    for (auto& picture : pictures) drawer.ReleaseImage(*picture);
  }
}

void BM_Upload12MP(benchmark::State& state) {
  T3DEngineScope engine;
  auto window = TDeviceWindow::Create(256, 256, false, "upload bench");
  if (!window) {
    state.SkipWithError("no device window");
    return;
  }
  T3DDrawer drawer;
  drawer.Init(&window->Device());
  drawer.SetFrameNotification([](TDeviceDrawer&, TDrawItem*, TFrameStage) {});
  class TEmpty : public TDrawItem {
   public:
    void Draw(TDeviceDrawer&) override {}
  } empty;
  drawer.Draw(empty);  // makes the renderer
  int seed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto picture = SyntheticPicture(++seed);
    picture->GetMipLevel(0, FormatA8R8G8B8());  // decoded before the clock runs
    state.ResumeTiming();
    drawer.PrepareImage(*picture, {});
    glFinish();
    state.PauseTiming();
    drawer.ReleaseImage(*picture);
    picture.reset();
    state.ResumeTiming();
  }
}

}  // namespace

BENCHMARK(BM_RawLayers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Drawer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Upload12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace zel
