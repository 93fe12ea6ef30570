#include "imaging/gif_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/stream_bytes.h"

namespace zel {

namespace {

class TGifReader {
 public:
  explicit TGifReader(std::span<const uint8_t> data) : fData(data) {}
  uint8_t Byte() {
    Need(1);
    return fData[fPos++];
  }
  uint16_t Word() {
    Need(2);
    const uint16_t v = LoadU16(fData.data() + fPos);
    fPos += 2;
    return v;
  }
  const uint8_t* Take(size_t n) {
    Need(n);
    const uint8_t* p = fData.data() + fPos;
    fPos += n;
    return p;
  }
  // Skips data sub-blocks up to their terminator.
  void SkipSubBlocks() {
    for (uint8_t n = Byte(); n != 0; n = Byte()) Take(n);
  }

 private:
  void Need(size_t n) const {
    if (fData.size() - fPos < n) throw EGifError("GIF: unexpected end of data");
  }
  std::span<const uint8_t> fData;
  size_t fPos = 0;
};

// Palette entries as 0xAARRGGBB; entries the file does not give are
// transparent black.
using TPalette = std::array<uint32_t, 256>;

void ReadColorTable(TGifReader& reader, int entries, TPalette& palette) {
  palette.fill(0);
  const uint8_t* p = reader.Take(static_cast<size_t>(entries) * 3);
  for (int i = 0; i < entries; ++i, p += 3) palette[static_cast<size_t>(i)] = MakeColor(p[0], p[1], p[2], 255);
}

// LZW-decodes one image's sub-blocks into pixel count indexes. Data that
// ends early leaves the remaining pixels at the fill index.
void DecodeLzw(TGifReader& reader, int minCodeSize, std::vector<uint8_t>& out, uint8_t fill) {
  if (minCodeSize < 2 || minCodeSize > 8) throw EGifError("GIF: invalid LZW code size");
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  std::vector<uint16_t> prefix(4096);
  std::vector<uint8_t> suffix(4096), stack(4097);
  for (int i = 0; i < clear; ++i) suffix[static_cast<size_t>(i)] = static_cast<uint8_t>(i);

  size_t written = 0;
  const size_t total = out.size();
  int codeSize = minCodeSize + 1;
  int next = clear + 2;
  int previous = -1;
  uint8_t first = 0;
  uint32_t bits = 0;
  int bitCount = 0;
  bool ended = false;

  for (uint8_t blockSize = reader.Byte(); blockSize != 0; blockSize = reader.Byte()) {
    const uint8_t* block = reader.Take(blockSize);
    for (int i = 0; i < blockSize && !ended; ++i) {
      bits |= static_cast<uint32_t>(block[i]) << bitCount;
      bitCount += 8;
      while (bitCount >= codeSize && !ended) {
        const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;
        if (code == clear) {
          codeSize = minCodeSize + 1;
          next = clear + 2;
          previous = -1;
          continue;
        }
        if (code == end) {
          ended = true;
          break;
        }
        if (previous < 0) {
          if (code >= clear) throw EGifError("GIF: invalid LZW code");
          if (written < total) out[written++] = static_cast<uint8_t>(code);
          previous = code;
          first = static_cast<uint8_t>(code);
          continue;
        }
        if (code > next || (code == next && next >= 4096)) throw EGifError("GIF: invalid LZW code");
        // Unwind the string of the code (or of the previous code plus its
        // first byte, for the code being defined right now).
        size_t depth = 0;
        int c = code;
        if (code == next) {
          stack[depth++] = first;
          c = previous;
        }
        while (c >= clear) {
          stack[depth++] = suffix[static_cast<size_t>(c)];
          c = prefix[static_cast<size_t>(c)];
        }
        stack[depth++] = static_cast<uint8_t>(c);
        first = static_cast<uint8_t>(c);
        while (depth > 0 && written < total) out[written++] = stack[--depth];
        if (next < 4096) {
          prefix[static_cast<size_t>(next)] = static_cast<uint16_t>(previous);
          suffix[static_cast<size_t>(next)] = first;
          ++next;
          if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
        }
        previous = code;
      }
    }
    if (ended) {
      reader.SkipSubBlocks();
      break;
    }
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), fill);
}

// The rows of an interlaced image in the order the file holds them.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> order;
  order.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass]) order.push_back(y);
  return order;
}

}  // namespace

void TFPReaderGif::Read(std::span<const uint8_t> file) {
  TGifReader reader(file);
  const uint8_t* signature = reader.Take(6);
  if (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0)
    throw EGifError("Unknown/Unsupported GIF image type");
  fScreenWidth = reader.Word();
  fScreenHeight = reader.Word();
  const uint8_t screenFlags = reader.Byte();
  reader.Byte();  // background colour index
  reader.Byte();  // aspect ratio
  TPalette global{};
  if (screenFlags & 0x80) ReadColorTable(reader, 2 << (screenFlags & 7), global);

  int transparent = -1;
  int disposal = 0;
  int delay = 0;
  int64_t totalPixels = 0;
  for (;;) {
    const uint8_t introducer = reader.Byte();
    if (introducer == 0x3B) break;  // trailer
    if (introducer == 0x21) {
      const uint8_t label = reader.Byte();
      if (label == 0xF9) {
        const uint8_t size = reader.Byte();
        const uint8_t* g = reader.Take(size);
        if (size >= 4) {
          disposal = (g[0] >> 2) & 7;
          delay = LoadU16(g + 1);
          transparent = (g[0] & 1) ? g[3] : -1;
        }
        reader.SkipSubBlocks();
      } else if (label == 0xFF) {
        const uint8_t size = reader.Byte();
        const uint8_t* id = reader.Take(size);
        const bool netscape = size == 11 && std::memcmp(id, "NETSCAPE2.0", 11) == 0;
        for (uint8_t n = reader.Byte(); n != 0; n = reader.Byte()) {
          const uint8_t* sub = reader.Take(n);
          if (netscape && n >= 3 && sub[0] == 1) {
            fHasNetscape = true;
            const uint16_t loops = LoadU16(sub + 1);
            fLoopCount = loops == 0xFFFF ? 0 : loops;
          }
        }
      } else {
        reader.SkipSubBlocks();  // comments, plain text, others
      }
      continue;
    }
    if (introducer != 0x2C) throw EGifError("GIF: unknown block");

    TFrame frame;
    frame.Left = reader.Word();
    frame.Top = reader.Word();
    frame.Width = reader.Word();
    frame.Height = reader.Word();
    const uint8_t flags = reader.Byte();
    TPalette local;
    const TPalette* palette = &global;
    if (flags & 0x80) {
      ReadColorTable(reader, 2 << (flags & 7), local);
      palette = &local;
    }
    totalPixels += int64_t{frame.Width} * frame.Height;
    if (!PictureSizeAllowed(frame.Width, frame.Height) || totalPixels > MaxPicturePixels())
      throw EGifError("GIF: picture too large");
    const int minCodeSize = reader.Byte();
    std::vector<uint8_t> indexes(static_cast<size_t>(frame.Width) * static_cast<size_t>(frame.Height));
    // Pixels the data does not reach show what lies beneath.
    DecodeLzw(reader, minCodeSize, indexes, static_cast<uint8_t>(transparent >= 0 ? transparent : 0));

    frame.Disposal = disposal;
    frame.DelayMs = delay * 10;
    frame.Bitmap = CreateBitmap(frame.Width, frame.Height, FormatA8R8G8B8());
    const std::vector<int> order = RowOrder(frame.Height, (flags & 0x40) != 0);
    for (int i = 0; i < frame.Height; ++i) {
      auto* out = reinterpret_cast<uint32_t*>(frame.Bitmap->ScanLine(order[static_cast<size_t>(i)]));
      const uint8_t* in = indexes.data() + static_cast<size_t>(i) * frame.Width;
      for (int x = 0; x < frame.Width; ++x) {
        const uint32_t c = (*palette)[in[x]];
        out[x] = in[x] == transparent ? (c & 0x00FFFFFF) : c;
      }
    }
    fFrames.push_back(std::move(frame));
    transparent = -1;
    disposal = 0;
    delay = 0;
  }
  if (fFrames.empty()) throw EGifError("GIF: no image");
  if (Animated()) {
    if (!PictureSizeAllowed(int64_t{fScreenWidth} * static_cast<int64_t>(fFrames.size()), fScreenHeight))
      throw EGifError("GIF: picture too large");
  }
}

std::unique_ptr<TBitmap> TFPReaderGif::TakePicture() {
  if (!Animated()) return std::move(fFrames.front().Bitmap);
  return ComposeStrip();
}

std::unique_ptr<TBitmap> TFPReaderGif::ComposeStrip() const {
  const int w = fScreenWidth, h = fScreenHeight;
  const int count = static_cast<int>(fFrames.size());
  std::unique_ptr<TBitmap> strip = CreateBitmap(w * count, h, FormatA8R8G8B8());
  auto pixel = [&](int frame, int x, int y) -> uint32_t& {
    return reinterpret_cast<uint32_t*>(strip->ScanLine(y))[frame * w + x];
  };
  int lastKept = -1;  // the last frame whose disposal keeps it (0 or 1)
  for (int i = 0; i < count; ++i) {
    const TFrame& frame = fFrames[static_cast<size_t>(i)];
    // What shows through: decided by the previous frame's disposal.
    if (i > 0) {
      const TFrame& previous = fFrames[static_cast<size_t>(i - 1)];
      const int base = previous.Disposal == 3 ? lastKept : i - 1;
      if (base >= 0)
        for (int y = 0; y < h; ++y)
          std::memcpy(&pixel(i, 0, y), &pixel(base, 0, y), static_cast<size_t>(w) * 4);
      if (previous.Disposal == 2) {
        const TRect r = TRect::FromSize(previous.Left, previous.Top, previous.Width, previous.Height)
                            .Intersect({0, 0, w, h});
        for (int y = r.Top; y < r.Bottom; ++y)
          for (int x = r.Left; x < r.Right; ++x) pixel(i, x, y) = 0;
      }
    }
    const TRect r = TRect::FromSize(frame.Left, frame.Top, frame.Width, frame.Height).Intersect({0, 0, w, h});
    for (int y = r.Top; y < r.Bottom; ++y) {
      const auto* in = reinterpret_cast<const uint32_t*>(frame.Bitmap->ScanLine(y - frame.Top));
      for (int x = r.Left; x < r.Right; ++x) {
        const uint32_t c = in[x - frame.Left];
        if (c >> 24) pixel(i, x, y) = c;
      }
    }
    if (frame.Disposal <= 1) lastKept = i;
  }
  return strip;
}

std::unique_ptr<TTilesTag> TFPReaderGif::MakeTilesTag() const {
  auto tag = std::make_unique<TTilesTag>();
  tag->FrameWidth = fScreenWidth;
  tag->FrameHeight = fScreenHeight;
  tag->Columns = static_cast<int>(fFrames.size());
  tag->Rows = 1;
  for (size_t i = 0; i < fFrames.size(); ++i) {
    const int duration = fFrames[i].DelayMs == 0 ? 50 : fFrames[i].DelayMs;
    tag->TotalDuration += duration;
    if (i > 0) tag->Durations += u",";
    tag->Durations += IntToStr(duration);
  }
  tag->AverageDuration = tag->Columns > 0 ? tag->TotalDuration / tag->Columns : 0;
  tag->LoopCount = fHasNetscape ? fLoopCount : 1;
  return tag;
}

TRef<TBitmapStore> LoadGifPicture(TStream& stream, const TString& name, const TLoadParams& params) {
  std::vector<uint8_t> file;
  if (!ReadRemaining(stream, file)) return nullptr;
  TFPReaderGif reader;
  reader.Read(file);
  std::unique_ptr<TBitmap> picture = reader.TakePicture();
  auto store = MakeRef<TWrapperBitmapStore>(name, std::move(picture), OrientationHook(params.Orientation));
  store->SetProgress(params.Progress);
  if (reader.Animated()) store->Attach(reader.MakeTilesTag());
  return store;
}

}  // namespace zel
