// The flat transitions at 1920 x 1080 on the offscreen GL device: each
// class draws FRAMES frames (300 unless given) of its transition between
// two full-screen slides, its progress sweeping from 0 to 1, and prints
// its frames a second beside the cross-fade's, the cheapest transition on
// the same device, measured in the same run (before and after the others;
// the faster of the two counts). The limit is 1.5 times the cross-fade's
// time a frame.
//
//   build/bench/transition_bench [FRAMES]
#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "effects/transition_catalogue.h"
#include "effects/transition_preview.h"
#include "render/draw_device.h"
#include "render/drawer_3d.h"
#include "render/engine_3d.h"
#include "show/zel_filter.h"
#include "show/zel_source.h"

namespace zel {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kDuration = 1000;
constexpr double kLimit = 1.5;

// Seconds a frame for one class and variant.
double SecondsPerFrame(T3DDrawer& drawer, int32_t effectClass, int32_t variant, int frames) {
  TSlideEffect effect;
  effect.effectClass = effectClass;
  effect.variant = variant;
  effect.duration = kDuration;
  effect.params.smoothLine = 0.02f;
  effect.params.mosaicDX = 32;
  effect.params.mosaicDY = 18;
  effect.params.mosaicSC = 50;
  TZelFilter filter(effect);
  TColourSlide a(MakeColor(200, 40, 40), kWidth, kHeight), b(MakeColor(40, 40, 200), kWidth, kHeight);
  TTransitionFrame root(a, b, filter);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) {
    filter.SetTime(kDuration * i / frames);
    drawer.Draw(root);
    glFinish();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / frames;
}

int Run(int frames) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  InstallTransitions();
  auto window = TDeviceWindow::Create(kWidth, kHeight, false, "transition bench");
  if (!window) {
    std::fprintf(stderr, "transition_bench: no render device\n");
    return 1;
  }
  int worst = 0;
  {
    T3DDrawer drawer;
    drawer.Init(&window->Device());
    drawer.SetFrameNotification([](TDeviceDrawer&, TDrawItem*, TFrameStage) {});
    // One warm-up frame makes the shaders and targets.
    SecondsPerFrame(drawer, 2, 1, 2);
    const double fadeBefore = SecondsPerFrame(drawer, 2, 1, frames);
    const struct {
      int32_t effectClass, variant;
      const char* name;
    } classes[] = {{1, 1, "mosaic"},      {4, 2, "circle"},         {5, 2, "diamond"},    {6, 2, "square"},
                   {7, 1, "split"},       {8, 2, "diagonal split"}, {9, 1, "edge wipe"},  {10, 1, "diagonal wipe"},
                   {12, 1, "push"},       {13, 2, "slide in"}};
    double perFrame[std::size(classes)];
    for (size_t i = 0; i < std::size(classes); ++i)
      perFrame[i] = SecondsPerFrame(drawer, classes[i].effectClass, classes[i].variant, frames);
    const double fade = std::min(fadeBefore, SecondsPerFrame(drawer, 2, 1, frames));
    std::printf("%-16s %8s %8s\n", "class", "fps", "vs fade");
    std::printf("%-16s %8.1f %8.2f\n", "2 cross-fade", 1 / fade, 1.0);
    for (size_t i = 0; i < std::size(classes); ++i) {
      const double ratio = perFrame[i] / fade;
      char label[32];
      std::snprintf(label, sizeof label, "%d %s", classes[i].effectClass, classes[i].name);
      std::printf("%-16s %8.1f %8.2f%s\n", label, 1 / perFrame[i], ratio, ratio > kLimit ? "  over the limit" : "");
      if (ratio > kLimit) ++worst;
    }
    std::printf("limit: %.1f times the cross-fade's time a frame; %d class(es) over it\n", kLimit, worst);
  }
  window.reset();
  Free3DEngine();
  return 0;
}

}  // namespace
}  // namespace zel

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  return zel::Run(frames);
}
