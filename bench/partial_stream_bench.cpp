// Reading a large stored entry: a window over a file stream, with and
// without the progress callback, beside a plain read(2) loop on the same
// file. The file is made once (256 MiB under $TMPDIR) and stays in the page
// cache between runs, so all three read from memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/streams.h"

namespace {

constexpr int64_t kFileSize = 256ll * 1024 * 1024;
constexpr size_t kReadSize = 1024 * 1024;

const std::string& TestFile() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/zel_partial_stream_bench.bin";
    FILE* f = std::fopen(name.c_str(), "wb");
    std::vector<unsigned char> block(kReadSize);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 31);
    for (int64_t done = 0; done < kFileSize; done += static_cast<int64_t>(block.size())) {
      std::fwrite(block.data(), 1, block.size(), f);
    }
    std::fclose(f);
    std::atexit([] { std::remove(TestFile().c_str()); });
    return name;
  }();
  return path;
}

void Report(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * kFileSize);
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(kFileSize) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void PlainReadLoop(benchmark::State& state) {
  std::vector<unsigned char> buffer(kReadSize);
  for (auto _ : state) {
    const int fd = ::open(TestFile().c_str(), O_RDONLY);
    int64_t total = 0;
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) total += n;
    ::close(fd);
    if (total != kFileSize) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  Report(state);
}

void WindowRead(benchmark::State& state, bool withCallback) {
  std::vector<uint8_t> buffer(kReadSize);
  int64_t callbacks = 0;
  for (auto _ : state) {
    zel::TPartialStream window(zel::TFileStream::OpenRead(TestFile()), kFileSize, 0);
    if (withCallback) window.SetProgressCallback(32768, [&] { ++callbacks; });
    int64_t total = 0;
    int32_t n;
    while ((n = window.Read(buffer)) > 0) total += n;
    if (total != kFileSize) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  benchmark::DoNotOptimize(callbacks);
  Report(state);
}

void PartialStreamNoCallback(benchmark::State& state) { WindowRead(state, false); }
void PartialStreamWithCallback(benchmark::State& state) { WindowRead(state, true); }

}  // namespace

BENCHMARK(PlainReadLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(PartialStreamNoCallback)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(PartialStreamWithCallback)->Unit(benchmark::kMillisecond)->MinTime(2.0);
