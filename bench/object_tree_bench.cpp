// Object-tree speed: a generated show of 500 slides with 40 objects each
// (ten groups of a parent and three children, three key points apiece, some
// turned in depth and some eased), every slide set to 1,000 show times
// spread over its own time and placed. The frame loop does this for three
// slides every frame. Reports object updates per second; building the
// trees (reading, the first placement and the largest-drawn-size pass) is
// measured on its own.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/streams.h"
#include "ini/ini_parser.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace {

using namespace zel;

constexpr int kSlides = 500;
constexpr int kGroups = 10;
constexpr int kChildrenPerGroup = 3;
constexpr int kObjectsPerSlide = kGroups * (1 + kChildrenPerGroup);
constexpr int kTimes = 1000;
constexpr double kSlideLength = 5000;

std::string KeyPoints(int seed, const std::string& indent) {
  const auto point = [&](const std::string& origin, int time, int x, int y, int scale, int angle, int angleY) {
    return indent + "object KP: KeyPoint\n" + indent + "  Origin=" + origin + "\n" + indent +
           "  Time=" + std::to_string(time) + "\n" + indent + "  Position=" + std::to_string(x) + "," +
           std::to_string(y) + "\n" + indent + "  ScaleX=" + std::to_string(scale) + "\n" + indent +
           "  ScaleY=" + std::to_string(scale) + "\n" + indent + "  Angle=" + std::to_string(angle) + "\n" + indent +
           "  AngleY=" + std::to_string(angleY) + "\n" + indent + "  Opacity=" + std::to_string(50 + seed % 50) +
           "\n" + indent + "end\n";
  };
  const bool turned = seed % 3 == 0;
  std::string text = point("SlideBegin", 0, seed % 60 - 30, seed % 40 - 20, 80, 0, 0);
  text += point("SlideBegin", 2500, -(seed % 50), seed % 30, 120, seed % 45, turned ? 40 : 0);
  text += point("SlideEnd", -500, seed % 20, -(seed % 25), 100, 0, turned ? -20 : 0);
  if (seed % 2 == 0) text += indent + "PanSpeed=3;0;2500;4500;1;0;2;0.3;0.7;\n";
  return text;
}

std::string GeneratedShow() {
  std::string text = "[Main]\nopt_slidescount=" + std::to_string(kSlides) + "\n";
  for (int s = 1; s <= kSlides; ++s)
    text += "opt_synchpos" + std::to_string(s) + "=" + std::to_string(static_cast<int>(s * kSlideLength)) + "\n";
  for (int s = 1; s <= kSlides; ++s) {
    text += "[Slide" + std::to_string(s) + "]\n";
    for (int g = 0; g < kGroups; ++g) {
      text += "object Group" + std::to_string(g) + ": Image\n";
      text += KeyPoints(s * 31 + g * 7, "  ");
      for (int c = 0; c < kChildrenPerGroup; ++c) {
        text += "  object Child" + std::to_string(c) + ": Text\n";
        text += KeyPoints(s * 17 + g * 5 + c * 3, "    ");
        text += "  end\n";
      }
      text += "end\n";
    }
  }
  return text;
}

struct TShow {
  TIniFile project;
  TZelSlideHost host;
  std::vector<std::unique_ptr<TZelSlide>> slides;
};

void SizeTree(TZelObject& object, int depth) {
  for (TZelObject* child : object.Children()) {
    child->SetSize(depth == 0 ? TObjectSize{640, 480} : TObjectSize{200, 50});
    SizeTree(*child, depth + 1);
  }
}

std::unique_ptr<TShow> LoadShow() {
  auto show = std::make_unique<TShow>();
  const std::string text = GeneratedShow();
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  stream.SetPosition(0);
  show->project.LoadFromStream(stream);
  show->host.SetViewBounds(1920, 1080);
  return show;
}

void BuildSlides(TShow& show) {
  const TIniSection& main = *show.project.FindSection(u"Main");
  show.slides.clear();
  for (int s = 0; s < kSlides; ++s) {
    auto slide = std::make_unique<TZelSlide>(&show.host, s);
    slide->SetLayout({1280, 720}, 150, 150, {960, 540, 0});
    const TSlideInfo times{s * kSlideLength, (s + 1) * kSlideLength, 1000, 1000, (s + 1) * kSlideLength + 1000, u""};
    slide->Load(main, *show.project.FindSection(u"Slide" + IntToStr(s + 1)), true, times);
    SizeTree(*slide, 0);
    slide->SetTimeAndUpdate(times.start);
    show.slides.push_back(std::move(slide));
  }
}

void BM_BuildTrees(benchmark::State& state) {
  auto show = LoadShow();
  for (auto _ : state) BuildSlides(*show);
  state.SetItemsProcessed(state.iterations() * kSlides * kObjectsPerSlide);
  state.counters["objects"] = kSlides * kObjectsPerSlide;
}
BENCHMARK(BM_BuildTrees)->Unit(benchmark::kMillisecond)->Iterations(3);

// One iteration: every slide at one of its 1,000 times. The whole show
// does not fit the caches, so this is the cold case.
void BM_SetTimeAndUpdateAcrossShow(benchmark::State& state) {
  auto show = LoadShow();
  BuildSlides(*show);
  int64_t step = 0;
  for (auto _ : state) {
    const double fraction = static_cast<double>(step % kTimes) / (kTimes - 1);
    for (auto& slide : show->slides) {
      slide->SetTimeAndUpdate(slide->Start() + fraction * (kSlideLength + 1000));
      benchmark::DoNotOptimize(slide->Children()[0]->Origin());
    }
    ++step;
  }
  state.SetItemsProcessed(state.iterations() * kSlides * (kObjectsPerSlide + 1));
}
BENCHMARK(BM_SetTimeAndUpdateAcrossShow)->Unit(benchmark::kMillisecond)->Iterations(kTimes);

// One iteration: one slide at all of its 1,000 times, the slides in turn,
// as the frame loop keeps working on the same few slides.
void BM_SetTimeAndUpdatePerSlide(benchmark::State& state) {
  auto show = LoadShow();
  BuildSlides(*show);
  size_t next = 0;
  for (auto _ : state) {
    TZelSlide& slide = *show->slides[next++ % show->slides.size()];
    for (int step = 0; step < kTimes; ++step) {
      slide.SetTimeAndUpdate(slide.Start() + step * (kSlideLength + 1000) / (kTimes - 1));
      benchmark::DoNotOptimize(slide.Children()[0]->Origin());
    }
  }
  state.SetItemsProcessed(state.iterations() * kTimes * (kObjectsPerSlide + 1));
}
BENCHMARK(BM_SetTimeAndUpdatePerSlide)->Unit(benchmark::kMillisecond)->Iterations(kSlides);

}  // namespace
