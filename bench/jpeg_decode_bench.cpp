// Decoding a 6000 x 4000 JPEG (a 24-megapixel photo) through the picture
// loader at levels 0 to 3, where the decoder's DCT scaling gives full,
// half, quarter and eighth size; beside it, when installed, djpeg at the
// same scales on the same file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/streams.h"
#include "imaging/image_loader.h"
#include "synthetic_photo.h"

namespace {

// The two generated pictures (see synthetic_photo.h): reduced levels skip
// the inverse transform's work but not the entropy decoding, so how much
// they save depends on which dominates.
using TContent = zel::bench::TPhotoContent;
using zel::bench::kGrainy;
using zel::bench::kSmooth;

std::vector<uint8_t> MakePhoto(TContent content) { return zel::bench::MakeSyntheticPhoto(content); }

const std::vector<uint8_t>& Photo(TContent content) {
  static const std::vector<uint8_t> photos[2] = {MakePhoto(kGrainy), MakePhoto(kSmooth)};
  return photos[content];
}

// The photo as a file for djpeg, removed at exit.
struct TPhotoFile {
  explicit TPhotoFile(TContent content)
      : path("/tmp/zel_jpeg_bench_" + std::to_string(getpid()) + "_" + std::to_string(content) + ".jpg") {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(Photo(content).data()), static_cast<std::streamsize>(Photo(content).size()));
  }
  ~TPhotoFile() { std::remove(path.c_str()); }
  std::string path;
};

const std::string& PhotoFile(TContent content) {
  static const TPhotoFile files[2] = {TPhotoFile(kGrainy), TPhotoFile(kSmooth)};
  return files[content].path;
}

// The whole road of a picture: load (header and a copy of the file), then
// the level, as the slide loader asks for it.
void BM_LoaderLevel(benchmark::State& state) {
  const int level = static_cast<int>(state.range(0));
  const auto& photo = Photo(static_cast<TContent>(state.range(1)));
  state.counters["file_mb"] = static_cast<double>(photo.size()) / 1e6;
  for (auto _ : state) {
    zel::TMemoryStream stream;
    stream.Write(std::span<const uint8_t>(photo));
    stream.SetPosition(0);
    auto image = zel::LoadImage(stream, u"photo.jpg");
    if (!image) {
      state.SkipWithError("the photo did not load");
      return;
    }
    zel::TBitmap* bitmap = image->GetMipLevel(level);
    benchmark::DoNotOptimize(bitmap->ScanLine(bitmap->Height() - 1)[0]);
    state.counters["width"] = bitmap->Width();
  }
}
BENCHMARK(BM_LoaderLevel)
    ->ArgsProduct({{0, 1, 2, 3}, {kGrainy, kSmooth}})
    ->ArgNames({"level", "smooth"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

bool HaveDjpeg() { return std::system("command -v djpeg >/dev/null 2>&1") == 0; }

// djpeg writes a PPM to /dev/null; the process start is part of its time.
void BM_Djpeg(benchmark::State& state) {
  static const bool available = HaveDjpeg();
  if (!available) {
    state.SkipWithError("djpeg is not installed (Debian package libjpeg-turbo-progs)");
    return;
  }
  const int level = static_cast<int>(state.range(0));
  const std::string command =
      "djpeg -scale 1/" + std::to_string(1 << level) + " -outfile /dev/null " +
      PhotoFile(static_cast<TContent>(state.range(1)));
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("djpeg failed");
      return;
    }
  }
}
BENCHMARK(BM_Djpeg)
    ->ArgsProduct({{0, 1, 2, 3}, {kGrainy, kSmooth}})
    ->ArgNames({"level", "smooth"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
