#include "render/tile_bitmap.h"

#include <algorithm>
#include <cstring>

#include "imaging/pixel_format.h"

namespace zel {

namespace {

// A cell along one axis of the view: which frame it belongs to, and the
// position inside that frame (-1 and frame size for the two gutters).
struct TCell {
  int Frame;
  int Inner;
};

TCell CellOf(int position, int frameSize) {
  const int frame = position / (frameSize + 2);
  return {frame, position - frame * (frameSize + 2) - 1};
}

// The source pixel a view position shows: its own frame's pixel, or for a
// gutter the frame's nearest edge pixel. Leftover source pixels that do not
// fill a whole frame lie past the last frame and are kept inside the sheet.
int SourceOf(TCell cell, int frameSize, int sourceSize) {
  return std::min(sourceSize - 1, cell.Frame * frameSize + std::clamp(cell.Inner, 0, frameSize - 1));
}

bool IsGutter(TCell cell, int frameSize) { return cell.Inner < 0 || cell.Inner >= frameSize; }

// The alpha bits of a 32-bit format; none for others (their gutters are
// plain copies) and for formats without alpha.
uint32_t AlphaMaskOf(TCommonPixelFormat* format) {
  if (format->BytesPerPixel() != 4) return 0;
  const TPixelChannel* alpha = format->ChannelFor(u'A');
  if (!alpha || alpha->Letter != u'A') return 0;
  const uint64_t bits = ((uint64_t{1} << alpha->Bits) - 1) << alpha->Shift;
  return static_cast<uint32_t>(bits);
}

}  // namespace

TBitmap* TTileBitmap::Checked(TBitmap* source, int columns, int rows) {
  ZEL_ASSERT(source != nullptr, "TTileBitmap.Create - Bitmap not Assigned");
  ZEL_ASSERT(columns >= 1 && rows >= 1, "TTileBitmap.Create - Invalid Frames Count");
  ZEL_ASSERT(source->Width() >= columns && source->Height() >= rows, "TTileBitmap.Create - Frame is Empty");
  const int bytes = source->Format()->BytesPerPixel();
  ZEL_ASSERT(!source->Format()->BitPacked() && bytes >= 1 && bytes <= 4, "TTileBitmap.Create - Invalid Pixel Size");
  return source;
}

TTileBitmap::TTileBitmap(TBitmap& source, int columns, int rows) : TTileBitmap(&source, false, columns, rows) {}

TTileBitmap::TTileBitmap(std::unique_ptr<TBitmap> source, int columns, int rows)
    : TTileBitmap(source.get(), true, columns, rows) {
  // Ownership is taken only once the view stands: a failed check leaves the
  // sheet with the caller's pointer.
  source.release();
}

TTileBitmap::TTileBitmap(TBitmap* source, bool owns, int columns, int rows)
    : TBitmap(Checked(source, columns, rows)->Width() + 2 * columns, Checked(source, columns, rows)->Height() + 2 * rows,
              Checked(source, columns, rows)->Format()),
      fSource(source),
      fOwnsSource(owns),
      fColumns(columns),
      fRows(rows),
      fFrameWidth(source->Width() / columns),
      fFrameHeight(source->Height() / rows),
      fAlphaMask(AlphaMaskOf(source->Format())) {
  fGutterColumn.resize(static_cast<size_t>(Width()));
  fSourceColumn.resize(static_cast<size_t>(Width()));
  for (int x = 0; x < Width(); ++x) {
    const TCell cell = CellOf(x, fFrameWidth);
    fGutterColumn[static_cast<size_t>(x)] = IsGutter(cell, fFrameWidth) ? 1 : 0;
    fSourceColumn[static_cast<size_t>(x)] = SourceOf(cell, fFrameWidth, fSource->Width());
  }
  fRowBuffers.resize(static_cast<size_t>(Height()));
}

TTileBitmap::~TTileBitmap() {
  if (fOwnsSource) delete fSource;
}

bool TTileBitmap::IsGutterRow(int y) const { return IsGutter(CellOf(y, fFrameHeight), fFrameHeight); }

int TTileBitmap::SourceRow(int y) const { return SourceOf(CellOf(y, fFrameHeight), fFrameHeight, fSource->Height()); }

void TTileBitmap::Compose(int x, int y, int count, uint8_t* out) const {
  const size_t bytes = static_cast<size_t>(Format()->BytesPerPixel());
  const uint8_t* from = fSource->ScanLine(SourceRow(y));
  const bool gutterRow = IsGutterRow(y);
  for (int i = 0; i < count; ++i, out += bytes) {
    const size_t column = static_cast<size_t>(x + i);
    std::memcpy(out, from + static_cast<size_t>(fSourceColumn[column]) * bytes, bytes);
    if (fAlphaMask && (gutterRow || fGutterColumn[column])) {
      uint32_t pixel;
      std::memcpy(&pixel, out, 4);
      pixel &= ~fAlphaMask;
      std::memcpy(out, &pixel, 4);
    }
  }
}

uint8_t* TTileBitmap::ScanLine(int y) {
  ZEL_ASSERT(y >= 0 && y < Height(), ClassName() + ".ScanLine (Y) out of Bitmap.Size");
  std::lock_guard guard(fRowLock);
  std::vector<uint8_t>& row = fRowBuffers[static_cast<size_t>(y)];
  row.resize(static_cast<size_t>(Width()) * static_cast<size_t>(Format()->BytesPerPixel()));
  Compose(0, y, Width(), row.data());
  return row.data();
}

int TTileBitmap::GetPixels(int x, int y, std::span<uint8_t> buffer, int offset, int count) const {
  ZEL_ASSERT(x >= 0 && y >= 0 && x < Width() && y < Height(), ClassName() + ".GetPixels (X,Y) out of Bitmap.Size");
  ZEL_ASSERT(offset >= 0, ClassName() + ".GetPixels - Offset out of Bounds");
  const int n = std::max(0, std::min(count, Width() - x));
  const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(Format()->BytesPerPixel());
  ZEL_ASSERT(static_cast<size_t>(offset) + bytes <= buffer.size(),
             ClassName() + ".GetPixels - Not Enought Pixel Buffer Space");
  if (n > 0) Compose(x, y, n, buffer.data() + offset);
  return static_cast<int>(bytes);
}

int TTileBitmap::TypedRead(const char* name, int size, int x, int y, uint8_t* out, size_t capacity, int offset,
                           int count) const {
  ZEL_ASSERT(Format()->BytesPerPixel() == size, ClassName() + "." + name + " - Invalid Pixel Size");
  ZEL_ASSERT(x >= 0 && y >= 0 && x < Width() && y < Height(), ClassName() + "." + name + " out of Bitmap.Size");
  const int n = std::max(0, std::min(count, Width() - x));
  ZEL_ASSERT(offset >= 0 && static_cast<size_t>(offset) + static_cast<size_t>(n) <= capacity,
             ClassName() + "." + name + " - Out of Pixel Buffer Bounds");
  if (n > 0) Compose(x, y, n, out + static_cast<size_t>(offset) * static_cast<size_t>(size));
  return n;
}

int TTileBitmap::GetPixels8(int x, int y, std::span<uint8_t> buffer, int offset, int count) const {
  return TypedRead("GetPixels8", 1, x, y, buffer.data(), buffer.size(), offset, count);
}
int TTileBitmap::GetPixels16(int x, int y, std::span<uint16_t> buffer, int offset, int count) const {
  return TypedRead("GetPixels16", 2, x, y, reinterpret_cast<uint8_t*>(buffer.data()), buffer.size(), offset, count);
}
int TTileBitmap::GetPixels24(int x, int y, std::span<TRGBTriple> buffer, int offset, int count) const {
  return TypedRead("GetPixels24", 3, x, y, reinterpret_cast<uint8_t*>(buffer.data()), buffer.size(), offset, count);
}
int TTileBitmap::GetPixels32(int x, int y, std::span<uint32_t> buffer, int offset, int count) const {
  return TypedRead("GetPixels32", 4, x, y, reinterpret_cast<uint8_t*>(buffer.data()), buffer.size(), offset, count);
}

}  // namespace zel
