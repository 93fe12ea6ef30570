// What every picture decoder's fuzz entry point does with its input: load
// it under the given name, fetch a few levels in two formats and read their
// pixels. Damaged input may give no picture or a decoding error; an
// assertion (a programming error) or a crash is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/obj.h"
#include "core/streams.h"
#include "imaging/image_loader.h"

namespace zel::fuzz {

inline void PrepareImageFuzzing() {
  static const bool prepared = [] {
    // Findings must not be swallowed by a loader that declines.
    SetAssertionHook([](const std::string&) { std::abort(); });
    // Large enough for every seed, small enough that a crafted header
    // cannot make a run slow.
    SetMaxPicturePixels(int64_t{1} << 20);
    return true;
  }();
  (void)prepared;
}

inline int FuzzPicture(const uint8_t* data, size_t size, const char16_t* name) {
  PrepareImageFuzzing();
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(data, size));
  stream.SetPosition(0);
  std::unique_ptr<TImage> image = LoadImage(stream, name);
  if (!image) return 0;
  try {
    for (int level = 0; level < 3; ++level) {
      TBitmap* native = image->GetMipLevel(level);
      TBitmap* argb = image->GetMipLevel(level, FormatA8R8G8B8());
      uint32_t sum = 0;
      for (int y = 0; y < argb->Height(); ++y) sum += argb->PixelColor(argb->Width() - 1, y);
      if (native->Width() != argb->Width() || native->Height() != argb->Height()) std::abort();
      (void)sum;
    }
  } catch (const EImageError&) {
    // A picture whose header was fine but whose data is not.
  }
  return 0;
}

}  // namespace zel::fuzz
