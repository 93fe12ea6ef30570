// A large show package: 2,000 entries, about 1 GB, half stored and half
// deflated, with one large stored entry. Reports the time to open the
// package (inflating and parsing its index), the read throughput of the
// large stored entry through the show's accessor, and `cat` of the whole
// package file for comparison. The package is made once under $TMPDIR.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/package_writer.h"
#include "package/show_locator.h"

namespace {

constexpr int kEntries = 2000;
constexpr size_t kEntrySize = 400 * 1024;
constexpr size_t kLargeEntrySize = 200 * 1024 * 1024;
const char16_t* const kLargeEntry = u"Video\\large.mp4";

std::string TempName(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name;
}

const std::string& PackageFile() {
  static const std::string path = [] {
    const std::string name = TempName("zel_package_bench.ZlShow");
    const auto start = std::chrono::steady_clock::now();
    zel::TFileStream out(name, zel::TFileCreation::CreateAlways, zel::fsRead, zel::faReadWrite);
    zel::TZelPackWriter writer(out);
    zel::TStringStream project("[Main]\r\nZelVersion=1.0\r\n");
    writer.AddEntry(zel::kProjectEntryName, project, zel::pmDeflated);
    std::vector<uint8_t> bytes(kEntrySize);
    uint32_t x = 1;
    for (int i = 0; i < kEntries - 2; ++i) {
      const bool stored = i % 2 == 0;
      for (size_t k = 0; k < bytes.size(); ++k) {
        x = x * 1103515245u + 12345u;
        // Stored entries are noise; deflated ones text-like, so they shrink.
        bytes[k] = stored ? static_cast<uint8_t>(x >> 24) : static_cast<uint8_t>("abcdefgh  \r\n"[(x >> 28) % 12]);
      }
      zel::TMemoryStream content;
      content.Write(bytes);
      content.SetPosition(0);
      const std::string entry = std::string(stored ? "Pictures\\photo" : "Text\\notes") + std::to_string(i) +
                                (stored ? ".jpg" : ".txt");
      writer.AddEntry(zel::Utf8ToString(entry), content, stored ? zel::pmStored : zel::pmDeflated);
    }
    {
      zel::TMemoryStream large;
      std::vector<uint8_t> block(1 << 20);
      for (size_t k = 0; k < block.size(); ++k) block[k] = static_cast<uint8_t>(k * 131);
      for (size_t done = 0; done < kLargeEntrySize; done += block.size()) large.Write(block);
      large.SetPosition(0);
      writer.AddEntry(kLargeEntry, large, zel::pmStored);
    }
    writer.Finish(false, false, u"1.0");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "made %s: %d entries, %.0f MB in %.1f s\n", name.c_str(), writer.EntryCount(),
                 static_cast<double>(out.GetSize()) / 1e6, seconds);
    std::atexit([] { std::remove(PackageFile().c_str()); });
    return name;
  }();
  return path;
}

void OpenPackage(benchmark::State& state) {
  const std::string& file = PackageFile();
  for (auto _ : state) {
    zel::TZelUnpack package(file);
    if (!package.Ready()) state.SkipWithError("package not ready");
    benchmark::DoNotOptimize(package.PositionShift());
  }
}

void ReadStoredEntryThroughAccessor(benchmark::State& state) {
  std::string message;
  auto show = zel::OpenExecutableShow(zel::Utf8ToString(PackageFile()), message);
  if (!show) {
    state.SkipWithError(message.c_str());
    return;
  }
  std::vector<uint8_t> buffer(1 << 20);
  for (auto _ : state) {
    auto stream = show->Accessor().OpenStream(kLargeEntry);
    int64_t total = 0;
    int32_t n;
    while ((n = stream->Read(buffer)) > 0) total += n;
    if (total != static_cast<int64_t>(kLargeEntrySize)) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeEntrySize));
}

void CatWholePackage(benchmark::State& state) {
  const std::string command = "cat '" + PackageFile() + "' > /dev/null";
  const auto size = static_cast<int64_t>(zel::TFileStream::OpenRead(PackageFile())->GetSize());
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
  }
  state.SetBytesProcessed(state.iterations() * size);
}

}  // namespace

BENCHMARK(OpenPackage)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadStoredEntryThroughAccessor)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(CatWholePackage)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
