// Round-trip latency of Send: a worker thread hands an event to the
// interface thread and waits until it has fired; and the same to a worker
// thread's queue. Reports the median and the 99th percentile per call.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/zel_thread.h"

namespace zel {
namespace {

void ReportPercentiles(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

struct TNoop {
  void Handle(TObj*, TEventId, TObj*) {}
};

// The interface thread runs on its own thread here, because the benchmark's
// own thread is the sender.
void BM_ApplicationSend(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  std::atomic<TApplication*> app{nullptr};
  std::atomic<TEventId> id{0};
  TNoop noop;
  std::thread ui([&] {
    TVxApplication application;
    id = application.NewEvent(TEventHandler::Of<&TNoop::Handle>(&noop));
    app = &application;
    application.Run();
  });
  while (!app) std::this_thread::yield();
  std::vector<double> micros;
  TObj payload;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    app.load()->Send(id, &payload);
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  app.load()->Terminate();
  ui.join();
  ReportPercentiles(state, micros);
}
BENCHMARK(BM_ApplicationSend)->UseRealTime()->Iterations(20000);

// A worker that turns its loop as fast as it can: what is measured is the
// hand-over itself, not a loop's sleep.
class TServedThread : public TZelThread {
 public:
  ~TServedThread() override { Stop(); }

 protected:
  void HandleMessage(TThreadEventList*, uint32_t, bool& handled, TObj*) override { handled = true; }
  void LoopStep() override {
    Process();
    std::this_thread::yield();
  }
};

void BM_WorkerQueueSend(benchmark::State& state) {
  TServedThread worker;
  worker.Start();
  std::vector<double> micros;
  TObj payload;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    worker.Queue().Send(1, &payload);
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  worker.Stop();
  ReportPercentiles(state, micros);
}
BENCHMARK(BM_WorkerQueueSend)->UseRealTime()->Iterations(5000);

}  // namespace
}  // namespace zel
