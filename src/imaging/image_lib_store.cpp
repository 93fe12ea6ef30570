#include "imaging/image_lib_store.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

#include "imaging/pixel_converter.h"
#include "imaging/stream_bytes.h"

namespace zel {

namespace {

// libpng reports errors by a long jump; everything the jump crosses is
// kept trivially destructible, and each phase has its own jump target.
struct TPngContext {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;
  TStream* output = nullptr;
  char message[256] = {};
};

void PngError(png_structp png, png_const_charp message) {
  auto* context = static_cast<TPngContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof(context->message), "%s", message ? message : "PNG error");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, size_t count) {
  auto* context = static_cast<TPngContext*>(png_get_io_ptr(png));
  if (context->size - context->position < count) png_error(png, "unexpected end of data");
  std::memcpy(out, context->data + context->position, count);
  context->position += count;
}

struct TPngInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  int channels = 0;  // after the transforms: 3 or 4
};

// Reads the header and sets up the transforms to 8-bit BGR or BGRA.
bool ReadInfo(png_structp png, png_infop info, TPngInfo& result) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, 65535, 65535);
  png_read_info(png, info);
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  result.width = png_get_image_width(png, info);
  result.height = png_get_image_height(png, info);
  result.channels = png_get_channels(png, info);
  return true;
}

bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

class TPngReadStruct {
 public:
  explicit TPngReadStruct(TPngContext& context) {
    fPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, PngError, PngWarning);
    if (fPng) fInfo = png_create_info_struct(fPng);
    if (fPng && fInfo) png_set_read_fn(fPng, &context, PngRead);
  }
  ~TPngReadStruct() { png_destroy_read_struct(&fPng, fInfo ? &fInfo : nullptr, nullptr); }
  bool Valid() const { return fPng && fInfo; }
  png_structp Png() const { return fPng; }
  png_infop Info() const { return fInfo; }

 private:
  png_structp fPng = nullptr;
  png_infop fInfo = nullptr;
};

TCommonPixelFormat* FormatForChannels(int channels) {
  if (channels == 3) return FormatR8G8B8();
  if (channels == 4) return FormatA8R8G8B8();
  return nullptr;
}

uint32_t LoadU32BE(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Walks the chunks after the signature: each must fit the file and carry
// its right check sum, up to the IEND chunk. A cut-off or damaged file is
// refused when it is loaded rather than when its rows are first wanted.
bool ChunksAreWhole(const std::vector<uint8_t>& file) {
  size_t at = 8;
  while (file.size() - at >= 12) {
    const uint32_t length = LoadU32BE(file.data() + at);
    if (length > file.size() - at - 12) return false;
    const uint8_t* type = file.data() + at + 4;
    const uLong crc = crc32(0L, type, static_cast<uInt>(length + 4));
    if (crc != LoadU32BE(type + 4 + length)) return false;
    if (std::memcmp(type, "IEND", 4) == 0) return true;
    at += 12 + length;
  }
  return false;
}

}  // namespace

TImageLibStore::TImageLibStore(TString name, int width, int height, TCommonPixelFormat* format,
                               std::vector<uint8_t> file, TPostLoadHook postLoad)
    : TSysBitmapStore(std::move(name), width, height, format, std::move(postLoad)), fFile(std::move(file)) {}

std::unique_ptr<TBitmap> TImageLibStore::ReadNativeLevel(int level) {
  if (level != 0) return nullptr;
  TPngContext context;
  context.data = fFile.data();
  context.size = fFile.size();
  TPngReadStruct reader(context);
  TPngInfo info;
  if (!reader.Valid() || !ReadInfo(reader.Png(), reader.Info(), info))
    throw EImageError(std::string("PNG error: ") + context.message);
  TCommonPixelFormat* format = FormatForChannels(info.channels);
  if (!format || !PictureSizeAllowed(info.width, info.height)) throw EImageError("PNG error: unsupported picture");
  std::unique_ptr<TBitmap> bitmap =
      CreateBitmap(static_cast<int>(info.width), static_cast<int>(info.height), format, Progress());
  std::vector<png_bytep> rows(info.height);
  for (uint32_t y = 0; y < info.height; ++y) rows[y] = bitmap->ScanLine(static_cast<int>(y));
  if (!ReadRows(reader.Png(), reader.Info(), rows.data()))
    throw EImageError(std::string("PNG error: ") + context.message);
  bitmap->NotifyProgress(1.0f);
  std::vector<uint8_t>().swap(fFile);  // the rows are all that is needed now
  return bitmap;
}

TRef<TBitmapStore> LoadPngPicture(TStream& stream, const TString& name, const TLoadParams& params) {
  std::vector<uint8_t> file;
  if (!ReadRemaining(stream, file) || file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0) return nullptr;
  if (!ChunksAreWhole(file)) return nullptr;
  TPngContext context;
  context.data = file.data();
  context.size = file.size();
  TPngInfo info;
  {
    TPngReadStruct reader(context);
    if (!reader.Valid() || !ReadInfo(reader.Png(), reader.Info(), info)) return nullptr;
  }
  TCommonPixelFormat* format = FormatForChannels(info.channels);
  if (!format || !PictureSizeAllowed(info.width, info.height)) return nullptr;
  int width = static_cast<int>(info.width), height = static_cast<int>(info.height);
  if (OrientationSwapsSize(params.Orientation)) std::swap(width, height);
  auto store = MakeRef<TImageLibStore>(name, width, height, format, std::move(file), OrientationHook(params.Orientation));
  store->SetProgress(params.Progress);
  return store;
}

// ---------------------------------------------------------------------------

namespace {

void PngWrite(png_structp png, png_bytep data, size_t count) {
  auto* context = static_cast<TPngContext*>(png_get_io_ptr(png));
  const int32_t wrote = context->output->Write(std::span<const uint8_t>(data, count));
  if (wrote < 0 || static_cast<size_t>(wrote) != count) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

bool WriteRows(png_structp png, png_infop info, uint32_t width, uint32_t height, png_bytepp rows,
               TPngWriting writing) {
  if (setjmp(png_jmpbuf(png))) return false;
  const bool fast = writing == TPngWriting::FastOpaque;
  png_set_IHDR(png, info, width, height, 8, fast ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (fast) {
    // Most of the time of a frame's PNG goes into deflating it: the
    // lightest level with one cheap filter is several times faster.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  }
  png_write_info(png, info);
  // The rows hold four bytes a pixel; the alpha byte is dropped.
  if (fast) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

}  // namespace

void SavePng(const TBitmap& bitmap, TStream& stream, TPngWriting writing) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0) throw EImageError("PNG error: empty bitmap");
  // Rows in memory order blue, green, red, alpha.
  const TConvertOperator* converter = GetConverter(bitmap.Format(), FormatA8R8G8B8());
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    rows[static_cast<size_t>(y)] = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
    converter->ConvertRun(rows[static_cast<size_t>(y)], bitmap.ScanLine(y), w);
  }
  TPngContext context;
  context.output = &stream;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (png && info) {
    png_set_write_fn(png, &context, PngWrite, PngFlush);
    ok = WriteRows(png, info, static_cast<uint32_t>(w), static_cast<uint32_t>(h), rows.data(), writing);
  }
  png_destroy_write_struct(&png, info ? &info : nullptr);
  if (!ok) throw EImageError(std::string("PNG error: ") + (context.message[0] ? context.message : "cannot write"));
}

}  // namespace zel
