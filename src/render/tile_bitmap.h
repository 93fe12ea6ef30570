// A read-only view of a sprite sheet (a grid of equally sized frames) in
// which every frame is surrounded by a one-pixel gutter. Tiles cut from the
// view can then be filtered linearly without one frame bleeding into the
// next: the gutter repeats the frame's own edge pixel, and in views with an
// alpha channel it is fully transparent, so a frame's outline fades out.
//
// The view is (source width + 2 x columns) x (source height + 2 x rows)
// pixels in the source's format. View column x is a gutter when
// x mod (frame width + 2) is 0 or frame width + 1; rows likewise.
#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace zel {

class TTileBitmap : public TBitmap {
 public:
  // A view of a sheet that stays the caller's.
  TTileBitmap(TBitmap& source, int columns, int rows);
  // A view that owns its sheet.
  TTileBitmap(std::unique_ptr<TBitmap> source, int columns, int rows);
  ~TTileBitmap() override;

  TBitmap& Source() const { return *fSource; }
  bool OwnsSource() const { return fOwnsSource; }
  int Columns() const { return fColumns; }
  int Rows() const { return fRows; }
  int FrameWidth() const { return fFrameWidth; }
  int FrameHeight() const { return fFrameHeight; }
  bool IsGutterColumn(int x) const { return fGutterColumn[static_cast<size_t>(x)] != 0; }
  bool IsGutterRow(int y) const;
  // The source pixel a view column or row shows.
  int SourceColumn(int x) const { return fSourceColumn[static_cast<size_t>(x)]; }
  int SourceRow(int y) const;

  // Rows are composed on demand into a buffer of the view's own, one per
  // row, so pointers to different rows stay valid together. Writing into a
  // row reaches nothing: the next call composes it again.
  uint8_t* ScanLine(int y) override;
  using TBitmap::ScanLine;

  // Reads compose the pixels straight from the sheet without the row
  // buffers; this is the path tiles are filled through.
  int GetPixels(int x, int y, std::span<uint8_t> buffer, int offset, int count) const override;
  int GetPixels8(int x, int y, std::span<uint8_t> buffer, int offset, int count) const override;
  int GetPixels16(int x, int y, std::span<uint16_t> buffer, int offset, int count) const override;
  int GetPixels24(int x, int y, std::span<TRGBTriple> buffer, int offset, int count) const override;
  int GetPixels32(int x, int y, std::span<uint32_t> buffer, int offset, int count) const override;

 private:
  TTileBitmap(TBitmap* source, bool owns, int columns, int rows);
  static TBitmap* Checked(TBitmap* source, int columns, int rows);
  // Writes count view pixels of row y from x into the bytes at out.
  void Compose(int x, int y, int count, uint8_t* out) const;
  // The typed reads: pixel size, position and buffer checks, then Compose.
  int TypedRead(const char* name, int size, int x, int y, uint8_t* out, size_t capacity, int offset, int count) const;

  TBitmap* fSource;
  bool fOwnsSource;
  int fColumns;
  int fRows;
  int fFrameWidth;
  int fFrameHeight;
  std::vector<uint8_t> fGutterColumn;
  std::vector<int> fSourceColumn;
  // The bits of a pixel that hold alpha; cleared in gutters. Zero for
  // formats other than 32-bit ones, whose gutters are plain copies.
  uint32_t fAlphaMask = 0;
  std::mutex fRowLock;
  std::vector<std::vector<uint8_t>> fRowBuffers;
};

}  // namespace zel
