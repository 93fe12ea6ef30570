#include "imaging/bmp_decoder.h"

#include <climits>
#include <cstring>

#include "imaging/stream_bytes.h"

namespace zel {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

struct TBmpHeader {
  int32_t width;
  int32_t height;  // always positive here
  bool bottomUp;
  int bitCount;
  uint32_t compression;
  uint32_t dataOffset;
  TCommonPixelFormat* format;
};

// Index images of the paletted depths and of the RLE codings are mapped
// through the palette into "R8G8B8".
void MapIndexRow(const uint8_t* indexes, int width, const uint32_t* palette, uint8_t* out) {
  for (int x = 0; x < width; ++x, out += 3) {
    const uint32_t c = palette[indexes[x]];
    out[0] = static_cast<uint8_t>(c);
    out[1] = static_cast<uint8_t>(c >> 8);
    out[2] = static_cast<uint8_t>(c >> 16);
  }
}

void UnpackRow(const uint8_t* row, int width, int bits, uint8_t* indexes) {
  switch (bits) {
    case 1:
      for (int x = 0; x < width; ++x) indexes[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      break;
    case 4:
      for (int x = 0; x < width; ++x) indexes[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
      break;
    default:
      std::memcpy(indexes, row, static_cast<size_t>(width));
      break;
  }
}

// Expands RLE8 or RLE4 data into a top-down index image; false when the
// data ends before the end-of-bitmap code.
bool ExpandRle(std::span<const uint8_t> data, const TBmpHeader& header, std::vector<uint8_t>& image) {
  const int w = header.width, h = header.height;
  const bool four = header.bitCount == 4;
  size_t p = 0;
  int64_t x = 0, fileRow = 0;
  auto put = [&](uint8_t index) {
    if (x < w && fileRow < h) {
      const int64_t y = header.bottomUp ? h - 1 - fileRow : fileRow;
      image[static_cast<size_t>(y * w + x)] = index;
    }
    ++x;
  };
  while (p + 2 <= data.size()) {
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++fileRow;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta
        if (p + 2 > data.size()) return false;
        x += data[p];
        fileRow += data[p + 1];
        p += 2;
        break;
      default: {  // a literal run, padded to a 16-bit boundary
        const size_t bytes = four ? (value + 1u) / 2u : value;
        const size_t padded = (bytes + 1) & ~size_t{1};
        if (p + bytes > data.size()) return false;
        for (int i = 0; i < value; ++i) {
          const uint8_t b = data[p + (four ? static_cast<size_t>(i) / 2 : static_cast<size_t>(i))];
          put(four ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b);
        }
        p += std::min(padded, data.size() - p);
        break;
      }
    }
    if (fileRow > h) return false;  // a file that wanders off the picture
  }
  return false;
}

bool ReadHeader(std::span<const uint8_t> file, TBmpHeader& header) {
  if (file.size() < kFileHeaderSize + kInfoHeaderSize) return false;
  const uint8_t* f = file.data();
  if (LoadU16(f) != 0x4D42) return false;
  header.dataOffset = LoadU32(f + 10);
  const uint8_t* info = f + kFileHeaderSize;
  const uint32_t infoSize = LoadU32(info);
  if (infoSize < kInfoHeaderSize || infoSize > file.size() - kFileHeaderSize) return false;
  const int32_t width = static_cast<int32_t>(LoadU32(info + 4));
  const int32_t height = static_cast<int32_t>(LoadU32(info + 8));
  const uint16_t planes = LoadU16(info + 12);
  header.bitCount = LoadU16(info + 14);
  header.compression = LoadU32(info + 16);
  if (planes != 1 || width <= 0 || height == 0 || height == INT32_MIN) return false;
  header.width = width;
  header.height = height < 0 ? -height : height;
  header.bottomUp = height > 0;
  switch (header.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
  }
  switch (header.compression) {
    case 0: break;
    case 1: if (header.bitCount != 8) return false; break;
    case 2: if (header.bitCount != 4) return false; break;
    case 3: if (header.bitCount != 16 && header.bitCount != 32) return false; break;
    default: return false;
  }
  if (!PictureSizeAllowed(header.width, header.height)) return false;
  switch (header.bitCount) {
    case 16:
      header.format = FormatB5G5R5X1();
      if (header.compression == 3) {
        if (file.size() < kFileHeaderSize + kInfoHeaderSize + 12) return false;
        const uint32_t greenMask = LoadU32(info + kInfoHeaderSize + 4);
        if (greenMask == 0x07E0)
          header.format = FormatB5G6R5();
        else if (greenMask != 0x03E0)
          return false;
      }
      break;
    case 24: header.format = FormatR8G8B8(); break;
    case 32: header.format = FormatA8R8G8B8(); break;
    default: header.format = FormatR8G8B8(); break;
  }
  return true;
}

}  // namespace

std::unique_ptr<TBitmap> DecodeBmp(std::span<const uint8_t> file) {
  TBmpHeader header;
  if (!ReadHeader(file, header)) return nullptr;
  const uint8_t* info = file.data() + kFileHeaderSize;
  const uint32_t infoSize = LoadU32(info);
  const int w = header.width, h = header.height;

  uint32_t palette[256] = {};
  if (header.bitCount <= 8) {
    const uint32_t maxEntries = 1u << header.bitCount;
    uint32_t entries = LoadU32(info + 32);
    if (entries == 0 || entries > maxEntries) entries = maxEntries;
    size_t at = kFileHeaderSize + infoSize;
    for (uint32_t i = 0; i < entries && at + 4 <= file.size(); ++i, at += 4) palette[i] = LoadU32(file.data() + at) & 0x00FFFFFF;
  }

  if (header.dataOffset > file.size()) return nullptr;
  const std::span<const uint8_t> data = file.subspan(header.dataOffset);
  std::unique_ptr<TBitmap> bitmap = CreateBitmap(w, h, header.format);

  if (header.compression == 1 || header.compression == 2) {
    std::vector<uint8_t> image(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (!ExpandRle(data, header, image)) return nullptr;
    for (int y = 0; y < h; ++y) MapIndexRow(image.data() + static_cast<size_t>(y) * w, w, palette, bitmap->ScanLine(y));
    return bitmap;
  }

  const int64_t stride = ((int64_t{header.bitCount} * w + 31) / 32) * 4;
  if (stride * h > static_cast<int64_t>(data.size())) return nullptr;  // truncated
  const size_t rowBytes = static_cast<size_t>(w) * header.format->BytesPerPixel();
  std::vector<uint8_t> indexes(header.bitCount <= 8 ? static_cast<size_t>(w) : 0);
  for (int y = 0; y < h; ++y) {
    const int64_t fileRow = header.bottomUp ? h - 1 - y : y;
    const uint8_t* row = data.data() + fileRow * stride;
    if (header.bitCount <= 8) {
      UnpackRow(row, w, header.bitCount, indexes.data());
      MapIndexRow(indexes.data(), w, palette, bitmap->ScanLine(y));
    } else {
      std::memcpy(bitmap->ScanLine(y), row, rowBytes);
    }
  }
  return bitmap;
}

std::unique_ptr<TBitmap> DecodeBmp(TStream& stream) {
  const int64_t start = stream.GetPosition();
  std::vector<uint8_t> file;
  std::unique_ptr<TBitmap> bitmap;
  if (ReadRemaining(stream, file)) bitmap = DecodeBmp(file);
  if (!bitmap) stream.SetPosition(start);
  return bitmap;
}

TRef<TBitmapStore> LoadBmpPicture(TStream& stream, const TString& name, const TLoadParams& params) {
  std::unique_ptr<TBitmap> bitmap = DecodeBmp(stream);
  if (!bitmap) return nullptr;
  auto store = MakeRef<TWrapperBitmapStore>(name, std::move(bitmap), OrientationHook(params.Orientation));
  store->SetProgress(params.Progress);
  return store;
}

}  // namespace zel
