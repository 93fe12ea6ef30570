#include "imaging/bitmap.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "imaging/pixel_converter.h"

namespace zel {

TBitmap::TBitmap(int width, int height, TCommonPixelFormat* format)
    : fWidth(width), fHeight(height), fFormat(format) {
  ZEL_ASSERT(format != nullptr, "TBitmap.Create - PixelFormat not Assigned");
  ZEL_ASSERT(width >= 0 && height >= 0, "TBitmap.Create - Invalid Bitmap Size");
}

std::unique_ptr<TBitmap> TBitmap::Clone() const { return CloneAs(fFormat, DefBitmapClass()); }

std::unique_ptr<TBitmap> TBitmap::CloneAs(TCommonPixelFormat* format, TBitmapClass bitmapClass) const {
  return CreateBitmap(fWidth, fHeight, format ? format : fFormat, fProgress, this, bitmapClass);
}

int TBitmap::GetPixels(int x, int y, std::span<uint8_t> buffer, int offset, int count) const {
  ZEL_ASSERT(x >= 0 && y >= 0 && x < fWidth && y < fHeight, ClassName() + ".GetPixels (X,Y) out of Bitmap.Size");
  ZEL_ASSERT(offset >= 0, ClassName() + ".GetPixels - Offset out of Bounds");
  const int n = std::max(0, std::min(count, fWidth - x));
  const size_t bytes = static_cast<size_t>(n) * fFormat->BytesPerPixel();
  ZEL_ASSERT(static_cast<size_t>(offset) + bytes <= buffer.size(),
             ClassName() + ".GetPixels - Not Enought Pixel Buffer Space");
  if (bytes > 0)
    std::memcpy(buffer.data() + offset, ScanLine(y) + static_cast<size_t>(x) * fFormat->BytesPerPixel(), bytes);
  return static_cast<int>(bytes);
}

template <int Size, typename T>
int TBitmap::TypedGetPixels(const char* name, int x, int y, std::span<T> buffer, int offset, int count) const {
  ZEL_ASSERT(fFormat->BytesPerPixel() == Size, ClassName() + "." + name + " - Invalid Pixel Size");
  ZEL_ASSERT(x >= 0 && y >= 0 && x < fWidth && y < fHeight, ClassName() + "." + name + " out of Bitmap.Size");
  const int n = std::max(0, std::min(count, fWidth - x));
  ZEL_ASSERT(offset >= 0 && static_cast<size_t>(offset) + static_cast<size_t>(n) <= buffer.size(),
             ClassName() + "." + name + " - Out of Pixel Buffer Bounds");
  if (n > 0) std::memcpy(buffer.data() + offset, ScanLine(y) + static_cast<size_t>(x) * Size, static_cast<size_t>(n) * Size);
  return n;
}

int TBitmap::GetPixels8(int x, int y, std::span<uint8_t> buffer, int offset, int count) const {
  return TypedGetPixels<1>("GetPixels8", x, y, buffer, offset, count);
}
int TBitmap::GetPixels16(int x, int y, std::span<uint16_t> buffer, int offset, int count) const {
  return TypedGetPixels<2>("GetPixels16", x, y, buffer, offset, count);
}
int TBitmap::GetPixels24(int x, int y, std::span<TRGBTriple> buffer, int offset, int count) const {
  return TypedGetPixels<3>("GetPixels24", x, y, buffer, offset, count);
}
int TBitmap::GetPixels32(int x, int y, std::span<uint32_t> buffer, int offset, int count) const {
  return TypedGetPixels<4>("GetPixels32", x, y, buffer, offset, count);
}

void TBitmap::Draw(const TRect& destination, const TBitmap& source, bool premultiply, TPoint sourcePos) {
  TRect r = destination;
  TPoint q = sourcePos;
  // Move both together until each lies inside its bitmap.
  if (r.Left < 0) q.X -= r.Left, r.Left = 0;
  if (r.Top < 0) q.Y -= r.Top, r.Top = 0;
  if (q.X < 0) r.Left -= q.X, q.X = 0;
  if (q.Y < 0) r.Top -= q.Y, q.Y = 0;
  const int64_t width = std::min<int64_t>({int64_t{r.Right} - r.Left, int64_t{fWidth} - r.Left,
                                           int64_t{source.Width()} - q.X});
  const int64_t height = std::min<int64_t>({int64_t{r.Bottom} - r.Top, int64_t{fHeight} - r.Top,
                                            int64_t{source.Height()} - q.Y});
  if (width <= 0 || height <= 0) return;

  const bool sameFormat = source.Format() == fFormat;
  const TConvertOperator* converter = sameFormat ? nullptr : GetConverter(source.Format(), fFormat);
  const bool premultiplyRows = premultiply && fFormat == FormatA8R8G8B8();
  const size_t sourceBpp = static_cast<size_t>(source.Format()->BytesPerPixel());
  const size_t bpp = static_cast<size_t>(fFormat->BytesPerPixel());
  const int w = static_cast<int>(width);
  for (int i = 0; i < height; ++i) {
    if (!NotifyProgress(static_cast<float>(i) / static_cast<float>(height))) return;
    const uint8_t* from = source.ScanLine(q.Y + i) + static_cast<size_t>(q.X) * sourceBpp;
    uint8_t* to = ScanLine(r.Top + i) + static_cast<size_t>(r.Left) * bpp;
    if (converter)
      converter->ConvertRun(to, from, w);
    else
      std::memmove(to, from, static_cast<size_t>(w) * bpp);
    if (premultiplyRows) PremultiplyRow(to, w);
  }
  NotifyProgress(1.0f);
}

uint32_t TBitmap::ColorToPixel(TColor color) const {
  const uint32_t b = BlueOf(color), g = GreenOf(color), r = RedOf(color);
  switch (fFormat->BytesPerPixel()) {
    case 1:
      return (b + g + r) / 3;
    case 2:
      if (fFormat == FormatB5G6R5()) return (b >> 3) | ((g >> 2) << 5) | ((r >> 3) << 11);
      return (b >> 3) | ((g >> 3) << 5) | ((r >> 3) << 10);
    case 3:
      return color & 0x00FFFFFF;
    case 4:
      return color;
    default:
      return 0;
  }
}

void TBitmap::Fill(const TRect& rect, TColor color) {
  const TRect r = rect.Intersect(BoundsRect());
  if (!r.IsEmpty()) {
    const size_t bpp = static_cast<size_t>(fFormat->BytesPerPixel());
    const uint32_t pixel = ColorToPixel(color);
    // One pixel, then doubled up to a run of at most 3072 bytes.
    std::vector<uint8_t> run(std::max<size_t>(bpp, 3072 / bpp * bpp));
    for (size_t k = 0; k < bpp; ++k) run[k] = k < 4 ? static_cast<uint8_t>(pixel >> (8 * k)) : 0;
    size_t filled = bpp;
    while (filled < run.size()) {
      const size_t n = std::min(filled, run.size() - filled);
      std::memcpy(run.data() + filled, run.data(), n);
      filled += n;
    }
    const size_t rowBytes = static_cast<size_t>(r.Width()) * bpp;
    for (int y = r.Top; y < r.Bottom; ++y) {
      uint8_t* to = ScanLine(y) + static_cast<size_t>(r.Left) * bpp;
      for (size_t done = 0; done < rowBytes;) {
        const size_t n = std::min(run.size(), rowBytes - done);
        std::memcpy(to + done, run.data(), n);
        done += n;
      }
    }
  }
  NotifyProgress(1.0f);
}

TColor TBitmap::PixelColor(int x, int y) const {
  ZEL_ASSERT(x >= 0 && y >= 0 && x < fWidth && y < fHeight, ClassName() + ".PixelColor (X,Y) out of Bitmap.Size");
  uint8_t out[4] = {0, 0, 0, 0};
  const uint8_t* from = ScanLine(y) + static_cast<size_t>(x) * fFormat->BytesPerPixel();
  GetConverter(fFormat, FormatA8R8G8B8())->ConvertRun(out, from, 1);
  return static_cast<TColor>(out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<uint32_t>(out[3]) << 24));
}

// ---------------------------------------------------------------------------

TDirectBitmap::TDirectBitmap(int width, int height, TCommonPixelFormat* format)
    : TBitmap(width, height, format) {
  ZEL_ASSERT(width > 0 && height > 0, "TDirectBitmap.Create - Invalid Bitmap Size");
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(format->BytesPerPixel());
  fStride = (rowBytes + 3) & ~size_t{3};
  fPixels = TPixelMemory(fStride * static_cast<size_t>(height));
}

int TDirectBitmap::GetPixels8(int x, int y, std::span<uint8_t> buffer, int offset, int count) const {
  return TypedGetPixels<1>("GetPixels8", x, y, buffer, offset, count);
}
int TDirectBitmap::GetPixels16(int x, int y, std::span<uint16_t> buffer, int offset, int count) const {
  return TypedGetPixels<2>("GetPixels16", x, y, buffer, offset, count);
}
int TDirectBitmap::GetPixels24(int x, int y, std::span<TRGBTriple> buffer, int offset, int count) const {
  return TypedGetPixels<3>("GetPixels24", x, y, buffer, offset, count);
}
int TDirectBitmap::GetPixels32(int x, int y, std::span<uint32_t> buffer, int offset, int count) const {
  return TypedGetPixels<4>("GetPixels32", x, y, buffer, offset, count);
}

// ---------------------------------------------------------------------------

TSysBitmap::TSysBitmap(int width, int height, TCommonPixelFormat* format, std::vector<uint8_t*> rows)
    : TBitmap(width, height, format) {
  SetRows(std::move(rows));
}

void TSysBitmap::SetRows(std::vector<uint8_t*> rows) {
  ZEL_ASSERT(rows.size() == static_cast<size_t>(Height()), "TSysBitmap.Create - Rows Count <> Height");
  fRows = std::move(rows);
}

TRefBitmap::TRefBitmap(int width, int height, TCommonPixelFormat* format, std::vector<uint8_t*> rows,
                       std::unique_ptr<TObj> owner)
    : TSysBitmap(width, height, format, std::move(rows)), fOwner(std::move(owner)) {}

TRect TCropBitmap::Checked(const TBitmap& source, const TRect& rect) {
  const TRect r = rect.Intersect(source.BoundsRect());
  ZEL_ASSERT(!r.IsEmpty(), "TCropBitmap.Create - Bitmap is Empty");
  return r;
}

std::vector<uint8_t*> TCropBitmap::RowsOf(TBitmap& source, const TRect& rect) {
  const TRect r = Checked(source, rect);
  std::vector<uint8_t*> rows;
  rows.reserve(static_cast<size_t>(r.Height()));
  const size_t left = static_cast<size_t>(r.Left) * source.Format()->BytesPerPixel();
  for (int y = r.Top; y < r.Bottom; ++y) rows.push_back(source.ScanLine(y) + left);
  return rows;
}

TCropBitmap::TCropBitmap(TBitmap& source, const TRect& rect)
    : TRefBitmap(Checked(source, rect).Width(), Checked(source, rect).Height(), source.Format(),
                 RowsOf(source, rect)),
      fRect(Checked(source, rect)) {}

TDirectBitmap* TSysDirectWrapper::Checked(TDirectBitmap* bitmap) {
  ZEL_ASSERT(bitmap != nullptr, "TSysDirectWrapper.Create - Bitmap not Assigned");
  ZEL_ASSERT(bitmap->Width() > 0 && bitmap->Height() > 0, "TSysDirectWrapper.Create - Bitmap is Empty");
  return bitmap;
}

namespace {
std::vector<uint8_t*> DirectRows(TDirectBitmap* bitmap) {
  std::vector<uint8_t*> rows(static_cast<size_t>(bitmap->Height()));
  for (int y = 0; y < bitmap->Height(); ++y) rows[static_cast<size_t>(y)] = bitmap->ScanLine(y);
  return rows;
}
}  // namespace

TSysDirectWrapper::TSysDirectWrapper(TDirectBitmap* bitmap, bool owns)
    : TSysDirectWrapper(Checked(bitmap), owns, TChecked{}) {}

TSysDirectWrapper::TSysDirectWrapper(TDirectBitmap* bitmap, bool owns, TChecked)
    : TSysBitmap(bitmap->Width(), bitmap->Height(), bitmap->Format(), DirectRows(bitmap)),
      fBitmap(bitmap),
      fOwns(owns) {}

TSysDirectWrapper::TSysDirectWrapper(std::unique_ptr<TDirectBitmap> bitmap)
    : TSysDirectWrapper(bitmap.get(), true) {
  bitmap.release();
}

TSysDirectWrapper::~TSysDirectWrapper() {
  if (fOwns) delete fBitmap;
}

// ---------------------------------------------------------------------------

namespace {

std::mutex gFactoryLock;
TBitmapClass gDefBitmapClass = TBitmapClass::Sys;

std::unique_ptr<TBitmap> DefaultFactory(int width, int height, TCommonPixelFormat* format,
                                        const TBitmapProgress& progress, const TBitmap* source, TBitmapClass) {
  auto bitmap = std::make_unique<TSysDirectWrapper>(std::make_unique<TDirectBitmap>(width, height, format));
  bitmap->SetProgress(progress);
  if (source) bitmap->Assign(*source);
  return bitmap;
}

TBitmapFactory& Factory() {
  static TBitmapFactory factory = DefaultFactory;
  return factory;
}

}  // namespace

bool BitmapIsClass(const TBitmap& bitmap, TBitmapClass bitmapClass) {
  if (bitmapClass == TBitmapClass::None) bitmapClass = DefBitmapClass();
  switch (bitmapClass) {
    case TBitmapClass::Direct:
      return dynamic_cast<const TDirectBitmap*>(&bitmap) != nullptr ||
             dynamic_cast<const TSysDirectWrapper*>(&bitmap) != nullptr;
    case TBitmapClass::Sys:
      return dynamic_cast<const TSysBitmap*>(&bitmap) != nullptr;
    case TBitmapClass::None:
      break;
  }
  return false;
}

TBitmapFactory SetBitmapFactory(TBitmapFactory factory) {
  std::lock_guard guard(gFactoryLock);
  TBitmapFactory previous = std::move(Factory());
  Factory() = factory ? std::move(factory) : TBitmapFactory(DefaultFactory);
  return previous;
}

std::unique_ptr<TBitmap> CreateBitmap(int width, int height, TCommonPixelFormat* format,
                                      const TBitmapProgress& progress, const TBitmap* source,
                                      TBitmapClass bitmapClass) {
  TBitmapFactory factory;
  {
    std::lock_guard guard(gFactoryLock);
    factory = Factory();
  }
  return factory(width, height, format, progress, source, bitmapClass);
}

TBitmapClass DefBitmapClass() { return gDefBitmapClass; }
void SetDefBitmapClass(TBitmapClass bitmapClass) { gDefBitmapClass = bitmapClass; }

}  // namespace zel
