// Decoding a 6000 x 4000 JPEG (a 24-megapixel photo) through the picture
// loader at levels 0 to 3, where the decoder's DCT scaling gives full,
// half, quarter and eighth size; beside it, when installed, djpeg at the
// same scales on the same file.
#include <benchmark/benchmark.h>

#include <jpeglib.h>
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

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Two generated pictures, in 4:2:0 at quality 90 as cameras write them:
// "grainy" has a checker texture and a strong per-pixel grain, so that it
// compresses like a detailed photo (about 2 bits per pixel, 6 MB); "smooth"
// is the same light without grain (a sky, a studio shot; well under 1 bit
// per pixel). Reduced levels skip the inverse transform's work but not the
// entropy decoding, so how much they save depends on which dominates.
enum TContent { kGrainy = 0, kSmooth = 1 };

std::vector<uint8_t> MakePhoto(TContent content) {
  const int grainMask = content == kGrainy ? 15 : 0;
  const int ringStep = content == kGrainy ? 24 : 0;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(kWidth * 3);
  uint32_t noise = 12345;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>((noise >> 24) & grainMask) - grainMask / 2;
      const int ring = ((x / 37 + y / 23) & 1) * ringStep;
      row[x * 3] = static_cast<uint8_t>(std::clamp(x * 200 / kWidth + 30 + grain + ring, 0, 255));
      row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(y * 180 / kHeight + 40 + grain, 0, 255));
      row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(220 - (x + y) * 150 / (kWidth + kHeight) + grain - ring, 0, 255));
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

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
