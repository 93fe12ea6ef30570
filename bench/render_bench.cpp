// Frames of 1920 x 1080 on the offscreen GL device: 200 textured,
// alpha-blended quads from 20 textures, drawn through the screen's batcher,
// beside the same scene drawn by a minimal loop on raw GL.
//
// Counters: fps (wall), cpu_ms_per_frame (CPU of the thread that submits,
// which is where our layers run), process_cpu_ms_per_frame (with llvmpipe's
// rasteriser threads). For the screen's runs, vs_raw is the wall-time ratio
// to the raw loop (fill-rate bound on llvmpipe, so it hides our cost) and
// cpu_vs_raw the ratio of submitting-thread CPU time, the figure for what
// our layers cost.
//
//   build/bench/render_bench --benchmark_min_time=3
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "raw_gl.h"
#include "render/draw_device.h"
#include "render/engine_3d.h"
#include "render/generated_texture.h"
#include "render/screen.h"
#include "render/vertex_buffer.h"

namespace zel {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kQuads = 200;
constexpr int kTextures = 20;
constexpr int kTextureSize = 128;
constexpr int kQuadSize = 192;

struct TQuad {
  float X, Y;
  int Texture;
  TColor Color;
};

// The scene: the same for both loops; quads change texture every time.
std::vector<TQuad> Scene() {
  std::vector<TQuad> quads;
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int i = 0; i < kQuads; ++i) {
    TQuad q;
    q.X = static_cast<float>(next() % (kWidth - kQuadSize));
    q.Y = static_cast<float>(next() % (kHeight - kQuadSize));
    q.Texture = i % kTextures;
    q.Color = MakeColor(255, 255, 255, 160 + next() % 96);
    quads.push_back(q);
  }
  return quads;
}

TColor Texel(int texture, int x, int y) {
  return MakeColor(static_cast<uint32_t>(texture * 12 + x), static_cast<uint32_t>(y * 2), static_cast<uint32_t>(255 - x),
                   static_cast<uint32_t>(128 + (x ^ y) % 128));
}

double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// What a loop spent: wall time, the submitting thread's CPU time (our
// layers and the driver's front end, without llvmpipe's rasteriser
// threads) and the whole process's CPU time (with them).
struct TCost {
  double Seconds = 0;
  double ThreadCpuMs = 0;
  double ProcessCpuMs = 0;
};

class TCostMeter {
 public:
  TCostMeter()
      : fThread(CpuMs(CLOCK_THREAD_CPUTIME_ID)), fProcess(CpuMs(CLOCK_PROCESS_CPUTIME_ID)), fStart(SDL_GetPerformanceCounter()) {}
  TCost Stop() const {
    TCost cost;
    cost.Seconds = static_cast<double>(SDL_GetPerformanceCounter() - fStart) / static_cast<double>(SDL_GetPerformanceFrequency());
    cost.ThreadCpuMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - fThread;
    cost.ProcessCpuMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - fProcess;
    return cost;
  }

 private:
  double fThread;
  double fProcess;
  uint64_t fStart;
};

// Per frame, of the raw loop's runs with and without presenting, for the
// ratios of the screen's runs: the median of the runs so far, so that one
// disturbed run (with repetitions) does not set the reference.
struct TPerFrame {
  double Seconds = 0;
  double ThreadCpuMs = 0;
};
std::vector<TPerFrame> gRawRuns[2];

TPerFrame RawReference(bool present) {
  std::vector<TPerFrame> runs = gRawRuns[present ? 1 : 0];
  if (runs.empty()) return {};
  TPerFrame median;
  const size_t middle = runs.size() / 2;
  std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(middle), runs.end(),
                   [](const TPerFrame& a, const TPerFrame& b) { return a.Seconds < b.Seconds; });
  median.Seconds = runs[middle].Seconds;
  std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(middle), runs.end(),
                   [](const TPerFrame& a, const TPerFrame& b) { return a.ThreadCpuMs < b.ThreadCpuMs; });
  median.ThreadCpuMs = runs[middle].ThreadCpuMs;
  return median;
}

TPerFrame Report(benchmark::State& state, const TCost& cost) {
  const double frames = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
  state.counters["fps"] = frames / cost.Seconds;
  state.counters["cpu_ms_per_frame"] = cost.ThreadCpuMs / frames;
  state.counters["process_cpu_ms_per_frame"] = cost.ProcessCpuMs / frames;
  return {cost.Seconds / frames, cost.ThreadCpuMs / frames};
}

// --- The raw loop: one program, one buffer, a bind and a draw per quad.

const char* kRawVertex = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec2 aTex;
out vec4 vColor;
out vec2 vTex;
void main() {
  gl_Position = vec4(aPos.x / 960.0 - 1.0, 1.0 - aPos.y / 540.0, 0.0, 1.0);
  vColor = aColor;
  vTex = aTex;
})";
const char* kRawFragment = R"(#version 330 core
in vec4 vColor;
in vec2 vTex;
uniform sampler2D uTex;
out vec4 color;
void main() { color = texture(uTex, vTex) * vColor; })";

void BM_RawGL(benchmark::State& state) {
  bench::TRawGLWindow raw(kWidth, kHeight);
  if (!raw.Ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  SDL_Window* window = raw.Window();
  raw.UseProgram(kRawVertex, kRawFragment);
  std::array<GLuint, kTextures> textures{};
  glGenTextures(kTextures, textures.data());
  std::vector<TColor> pixels(kTextureSize * kTextureSize);
  for (int t = 0; t < kTextures; ++t) {
    for (int y = 0; y < kTextureSize; ++y) {
      for (int x = 0; x < kTextureSize; ++x) pixels[static_cast<size_t>(y * kTextureSize + x)] = Texel(t, x, y);
    }
    glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(t)]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSize, kTextureSize, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  struct TVertex {
    float X, Y;
    TColor Color;
    float U, V;
  };
  GLuint vao = 0;
  GLuint vbo = 0;
  glGenVertexArrays(1, &vao);
  glGenBuffers(1, &vbo);
  glBindVertexArray(vao);
  glBindBuffer(GL_ARRAY_BUFFER, vbo);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(TVertex), nullptr);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(TVertex), reinterpret_cast<void*>(8));
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(TVertex), reinterpret_cast<void*>(12));
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glViewport(0, 0, kWidth, kHeight);
  const std::vector<TQuad> scene = Scene();
  std::vector<TVertex> vertices;
  const bool present = state.range(0) != 0;

  const TCostMeter meter;
  for (auto _ : state) {
    glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    vertices.clear();
    const float u = static_cast<float>(kTextureSize) / kTextureSize;
    for (const TQuad& q : scene) {
      const float l = q.X;
      const float t = q.Y;
      const float r = q.X + kQuadSize;
      const float b = q.Y + kQuadSize;
      vertices.insert(vertices.end(), {{l, t, q.Color, 0, 0}, {r, t, q.Color, u, 0}, {r, b, q.Color, u, u},
                                       {l, t, q.Color, 0, 0}, {r, b, q.Color, u, u}, {l, b, q.Color, 0, u}});
    }
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(TVertex)), vertices.data(),
                 GL_STREAM_DRAW);
    for (int i = 0; i < kQuads; ++i) {
      glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(scene[static_cast<size_t>(i)].Texture)]);
      glDrawArrays(GL_TRIANGLES, 6 * i, 6);
    }
    if (present) SDL_GL_SwapWindow(window);
    glFinish();
  }
  gRawRuns[present ? 1 : 0].push_back(Report(state, meter.Stop()));

  glDeleteTextures(kTextures, textures.data());
  glDeleteBuffers(1, &vbo);
  glDeleteVertexArrays(1, &vao);
}

// --- The same scene through the screen and its batcher.

void BM_Screen(benchmark::State& state) {
  auto window = TDeviceWindow::Create(kWidth, kHeight, false, "screen");
  if (!window) {
    state.SkipWithError("no device window");
    return;
  }
  std::vector<std::unique_ptr<TGeneratedTexture>> textures;
  const std::vector<TQuad> scene = Scene();
  const bool present = state.range(0) != 0;
  {
    T3DScreen screen;
    screen.AssignDevice(&window->Device());
    if (!screen.BeginScene()) {
      state.SkipWithError("the screen cannot draw");
      return;
    }
    for (int t = 0; t < kTextures; ++t) {
      textures.push_back(std::make_unique<TGeneratedTexture>(&screen, kTexKindPicture, kTextureSize, kTextureSize,
                                                             [t](int x, int y) { return Texel(t, x, y); }));
      textures.back()->GetTexture();
    }
    screen.EndScene(false);
    TVertexBuffer& batcher = screen.Batcher();
    const float size = static_cast<float>(kTextureSize);
    const TTriangleCoords first[1] = {{{{0, 0}, {size, 0}, {size, size}}}};
    const TTriangleCoords second[1] = {{{{0, 0}, {size, size}, {0, size}}}};

    const TCostMeter meter;
    for (auto _ : state) {
      if (!screen.BeginScene()) {
        state.SkipWithError("a frame failed");
        break;
      }
      screen.Clear(MakeColor(26, 26, 51), false);
      for (const TQuad& q : scene) {
        TCustomTexture* bound[1] = {textures[static_cast<size_t>(q.Texture)].get()};
        batcher.Begin(bound);
        const float l = q.X;
        const float t = q.Y;
        const float r = q.X + kQuadSize;
        const float b = q.Y + kQuadSize;
        batcher.AddTriangle({{l, t, 0}, {r, t, 0}, {r, b, 0}}, {q.Color, q.Color, q.Color}, first);
        batcher.AddTriangle({{l, t, 0}, {r, b, 0}, {l, b, 0}}, {q.Color, q.Color, q.Color}, second);
      }
      screen.EndScene(present);
      glFinish();
    }
    const TPerFrame ours = Report(state, meter.Stop());
    // Wall time is bound by llvmpipe's fill rate, the same for both loops;
    // the submitting thread's CPU time is what our layers add.
    const TPerFrame raw = RawReference(present);
    if (raw.Seconds > 0) state.counters["vs_raw"] = ours.Seconds / raw.Seconds;
    if (raw.ThreadCpuMs > 0) state.counters["cpu_vs_raw"] = ours.ThreadCpuMs / raw.ThreadCpuMs;
    textures.clear();
  }
}

// Argument 0: the frame is finished (glFinish) but not shown; 1: shown as
// well (the screen's Present sleeps at least 1 ms for pacing).
BENCHMARK(BM_RawGL)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Screen)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawGL)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Screen)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The offscreen driver and the engine exist before the first benchmark.
const bool kReady = [] {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  return true;
}();

}  // namespace
}  // namespace zel
