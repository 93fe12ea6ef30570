// A generated 24-megapixel photo-like JPEG for the benchmarks that decode
// large pictures: made at run time, so no picture files live in the tree.
#pragma once

#include <jpeglib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zel::bench {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;

// In 4:2:0 at quality 90 as cameras write them: "grainy" has a checker
// texture and a strong per-pixel grain, so that it compresses like a
// detailed photo (about 2 bits per pixel, 6 MB); "smooth" is the same light
// without grain (a sky, a studio shot; well under 1 bit per pixel).
enum TPhotoContent { kGrainy = 0, kSmooth = 1 };

// The seed drives the grain: photos of different seeds share their light
// but none of their bytes past the header.
inline std::vector<uint8_t> MakeSyntheticPhoto(TPhotoContent content, uint32_t seed = 12345) {
  const int grainMask = content == kGrainy ? 15 : 0;
  const int ringStep = content == kGrainy ? 24 : 0;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = kPhotoWidth;
  cinfo.image_height = kPhotoHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(kPhotoWidth * 3);
  uint32_t noise = seed;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < kPhotoWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>((noise >> 24) & grainMask) - grainMask / 2;
      const int ring = ((x / 37 + y / 23) & 1) * ringStep;
      row[x * 3] = static_cast<uint8_t>(std::clamp(x * 200 / kPhotoWidth + 30 + grain + ring, 0, 255));
      row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(y * 180 / kPhotoHeight + 40 + grain, 0, 255));
      row[x * 3 + 2] = static_cast<uint8_t>(
          std::clamp(220 - (x + y) * 150 / (kPhotoWidth + kPhotoHeight) + grain - ring, 0, 255));
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

}  // namespace zel::bench
