// Bitmaps: a size, a pixel format from the registry and rows of pixels.
// Bitmaps copy into one another with automatic format conversion, optional
// premultiplication of alpha and progress reporting.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/obj.h"
#include "imaging/color.h"
#include "imaging/geometry.h"
#include "imaging/pixel_memory.h"
#include "imaging/pixel_format.h"

namespace zel {

// Receives the fraction done (0..1); answers whether to go on.
using TBitmapProgress = std::function<bool(float fraction)>;

// The three bytes of a 24-bit pixel as they lie in memory.
struct TRGBTriple {
  uint8_t B, G, R;
};
static_assert(sizeof(TRGBTriple) == 3);

// The bitmap classes a caller can ask the factory and the picture stores for.
enum class TBitmapClass { None, Direct, Sys };

class TBitmap : public TObj {
 public:
  TBitmap(int width, int height, TCommonPixelFormat* format);

  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  TCommonPixelFormat* Format() const { return fFormat; }
  TRect BoundsRect() const { return {0, 0, fWidth, fHeight}; }

  void SetProgress(TBitmapProgress progress) { fProgress = std::move(progress); }
  const TBitmapProgress& Progress() const { return fProgress; }
  // Without a notification the answer is to go on.
  bool NotifyProgress(float fraction) const { return !fProgress || fProgress(fraction); }

  // The address of row y (0 at the top).
  virtual uint8_t* ScanLine(int y) = 0;
  const uint8_t* ScanLine(int y) const { return const_cast<TBitmap*>(this)->ScanLine(y); }

  // A new bitmap of this size and format with these pixels, made through
  // the bitmap factory; CloneAs converts into another format and class.
  virtual std::unique_ptr<TBitmap> Clone() const;
  std::unique_ptr<TBitmap> CloneAs(TCommonPixelFormat* format, TBitmapClass bitmapClass) const;

  // Copies up to count pixels of row y from x, in this bitmap's format, into
  // the buffer at offset; the count is cut at the row's end. Returns the
  // number of bytes written.
  virtual int GetPixels(int x, int y, std::span<uint8_t> buffer, int offset, int count) const;
  // The same for bitmaps of exactly 1, 2, 3 or 4 bytes per pixel; offset and
  // result count pixels.
  virtual int GetPixels8(int x, int y, std::span<uint8_t> buffer, int offset, int count) const;
  virtual int GetPixels16(int x, int y, std::span<uint16_t> buffer, int offset, int count) const;
  virtual int GetPixels24(int x, int y, std::span<TRGBTriple> buffer, int offset, int count) const;
  virtual int GetPixels32(int x, int y, std::span<uint32_t> buffer, int offset, int count) const;

  // Copies the source's pixels from sourcePos into the destination
  // rectangle, both clipped to their bitmaps, converting the format and
  // premultiplying "A8R8G8B8" rows when asked.
  virtual void Draw(const TRect& destination, const TBitmap& source, bool premultiply, TPoint sourcePos);

  // Draw of the whole source at the origin.
  void Assign(const TBitmap& source) { Draw(source.BoundsRect(), source, false, {0, 0}); }
  // Fills the rectangle (clipped) with the colour in this bitmap's format.
  void Fill(const TRect& rect, TColor color);
  // The colour as one pixel of this bitmap's format (little-endian bytes).
  uint32_t ColorToPixel(TColor color) const;

  // Reads one pixel as a colour; for tests and tools, not for bulk work.
  TColor PixelColor(int x, int y) const;

 protected:
  template <int Size, typename T>
  int TypedGetPixels(const char* name, int x, int y, std::span<T> buffer, int offset, int count) const;

 private:
  int fWidth;
  int fHeight;
  TCommonPixelFormat* fFormat;
  TBitmapProgress fProgress;
};

// Owns its pixels.
class TDirectBitmap : public TBitmap {
 public:
  TDirectBitmap(int width, int height, TCommonPixelFormat* format);
  uint8_t* ScanLine(int y) override { return fPixels.Data() + static_cast<size_t>(y) * fStride; }
  using TBitmap::ScanLine;
  size_t Stride() const { return fStride; }

  int GetPixels8(int x, int y, std::span<uint8_t> buffer, int offset, int count) const override;
  int GetPixels16(int x, int y, std::span<uint16_t> buffer, int offset, int count) const override;
  int GetPixels24(int x, int y, std::span<TRGBTriple> buffer, int offset, int count) const override;
  int GetPixels32(int x, int y, std::span<uint32_t> buffer, int offset, int count) const override;

 private:
  // One zeroed block; each row starts on a 4-byte boundary so that the typed
  // row views are aligned.
  size_t fStride;
  TPixelMemory fPixels;
};

// Pixels reached through a list of row addresses.
class TSysBitmap : public TBitmap {
 public:
  TSysBitmap(int width, int height, TCommonPixelFormat* format, std::vector<uint8_t*> rows);
  uint8_t* ScanLine(int y) override { return fRows[static_cast<size_t>(y)]; }
  using TBitmap::ScanLine;
  uint16_t* ScanLine16(int y) { return reinterpret_cast<uint16_t*>(ScanLine(y)); }
  TRGBTriple* ScanLine24(int y) { return reinterpret_cast<TRGBTriple*>(ScanLine(y)); }
  uint32_t* ScanLine32(int y) { return reinterpret_cast<uint32_t*>(ScanLine(y)); }

 protected:
  void SetRows(std::vector<uint8_t*> rows);

 private:
  std::vector<uint8_t*> fRows;
};

// Rows in somebody else's memory, optionally with an owner object that goes
// with the view.
class TRefBitmap : public TSysBitmap {
 public:
  TRefBitmap(int width, int height, TCommonPixelFormat* format, std::vector<uint8_t*> rows,
             std::unique_ptr<TObj> owner = nullptr);

 private:
  std::unique_ptr<TObj> fOwner;
};

// A view of a rectangle of another bitmap (intersected with it).
class TCropBitmap : public TRefBitmap {
 public:
  TCropBitmap(TBitmap& source, const TRect& rect);
  const TRect& CropRect() const { return fRect; }

 private:
  static TRect Checked(const TBitmap& source, const TRect& rect);
  static std::vector<uint8_t*> RowsOf(TBitmap& source, const TRect& rect);
  TRect fRect;
};

// A TSysBitmap face on a TDirectBitmap's rows.
class TSysDirectWrapper : public TSysBitmap {
 public:
  TSysDirectWrapper(TDirectBitmap* bitmap, bool owns);
  explicit TSysDirectWrapper(std::unique_ptr<TDirectBitmap> bitmap);
  ~TSysDirectWrapper() override;
  TDirectBitmap* Bitmap() const { return fBitmap; }

 private:
  struct TChecked {};
  TSysDirectWrapper(TDirectBitmap* bitmap, bool owns, TChecked);
  static TDirectBitmap* Checked(TDirectBitmap* bitmap);
  TDirectBitmap* fBitmap;
  bool fOwns;
};

// Whether the bitmap can be handed out as the given class.
bool BitmapIsClass(const TBitmap& bitmap, TBitmapClass bitmapClass);

// The bitmap factory: every new bitmap of the system is made through it.
using TBitmapFactory = std::function<std::unique_ptr<TBitmap>(
    int width, int height, TCommonPixelFormat* format, const TBitmapProgress& progress, const TBitmap* source,
    TBitmapClass bitmapClass)>;
// Returns the previous factory; an empty one restores the default.
TBitmapFactory SetBitmapFactory(TBitmapFactory factory);
std::unique_ptr<TBitmap> CreateBitmap(int width, int height, TCommonPixelFormat* format,
                                      const TBitmapProgress& progress = {}, const TBitmap* source = nullptr,
                                      TBitmapClass bitmapClass = TBitmapClass::None);

// The class made when a caller names none (TSysBitmap by default).
TBitmapClass DefBitmapClass();
void SetDefBitmapClass(TBitmapClass bitmapClass);

}  // namespace zel
