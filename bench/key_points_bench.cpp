// Key-point evaluation speed: 20,000 key-point lists of 10 key points each,
// every list set to 1,000 times spread over its slide (a frame of a dense
// show sets the time on every object). Reports evaluations per second.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "show/key_points.h"

namespace {

using namespace zel;

constexpr int kLists = 20000;
constexpr int kKeyPointsPerList = 10;
constexpr int kTimes = 1000;
constexpr double kSlideLength = 10000;

struct TScene {
  TSlideAnchorTimes anchors{0, kSlideLength, 1000, 1000};
  std::vector<std::unique_ptr<TKeyPoints>> lists;
  std::vector<double> times;
};

std::unique_ptr<TScene> MakeScene(bool eased) {
  auto scene = std::make_unique<TScene>();
  std::mt19937 random(12345);
  std::uniform_real_distribution<float> value(-100, 100);
  std::uniform_real_distribution<float> scale(50, 200);
  scene->lists.reserve(kLists);
  for (int l = 0; l < kLists; ++l) {
    auto list = std::make_unique<TKeyPoints>(&scene->anchors);
    for (int k = 0; k < kKeyPointsPerList; ++k) {
      for (TKeyValue v : {TKeyValue::Opacity, TKeyValue::PositionX, TKeyValue::PositionY, TKeyValue::Angle,
                          TKeyValue::Blur, TKeyValue::CenterX})
        list->SetCurrentValue(v, value(random));
      list->SetCurrentValue(TKeyValue::ScaleX, scale(random));
      list->SetCurrentValue(TKeyValue::ScaleY, scale(random));
      list->AddKeyPoint(TKeyPointAnchor::SlideBegin, k * (kSlideLength + 1000) / (kKeyPointsPerList - 1));
    }
    if (eased) {
      list->SetPerspectiveCorrection(true);
      for (TSpeedGroup g : {TSpeedGroup::Pan, TSpeedGroup::Zoom, TSpeedGroup::Rotation}) {
        TSpeedStorage& storage = list->SpeedStorage(g);
        storage.ClearIntervals();
        for (int k = 0; k + 3 < kKeyPointsPerList; k += 3) {
          TInterval& interval = storage.AddInterval(k, k + 3);
          interval.a = 0.3L;
          interval.b = 0.7L;
        }
      }
    }
    scene->lists.push_back(std::move(list));
  }
  for (int i = 0; i < kTimes; ++i) scene->times.push_back(-500 + i * (kSlideLength + 2000) / kTimes);
  return scene;
}

void Evaluate(benchmark::State& state, bool eased) {
  const auto scene = MakeScene(eased);
  for (auto _ : state) {
    for (double t : scene->times)
      for (const auto& list : scene->lists) {
        list->SetTime(t);
        benchmark::DoNotOptimize(list->Current());
      }
  }
  const auto evaluations = static_cast<double>(state.iterations()) * kLists * kTimes;
  state.counters["evaluations_per_second"] = benchmark::Counter(evaluations, benchmark::Counter::kIsRate);
}

void BM_KeyPointsLinear(benchmark::State& state) { Evaluate(state, false); }
void BM_KeyPointsEasedPerspective(benchmark::State& state) { Evaluate(state, true); }

BENCHMARK(BM_KeyPointsLinear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeyPointsEasedPerspective)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
