// Writers of EXIF (TIFF directories) and IPTC (Photoshop image resources)
// blocks built byte by byte, and of small JPEG and PNG files carrying them,
// for the metadata reader's tests, the tool's test and the fuzz seeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/test_pictures.h"

namespace zel::testing {

using TByteVector = std::vector<uint8_t>;

struct TIfdEntry {
  uint16_t Tag = 0;
  uint16_t Type = 2;  // 2 ASCII, 4 LONG, 7 UNDEFINED
  uint32_t Count = 0;
  TByteVector Value;               // already in the file's byte order
  std::optional<uint32_t> Offset;  // written as the value field instead of Value
};

inline TIfdEntry AsciiEntry(uint16_t tag, std::string_view text) {
  TIfdEntry entry{tag, 2, static_cast<uint32_t>(text.size() + 1), TByteVector(text.begin(), text.end()), {}};
  entry.Value.push_back(0);
  return entry;
}
inline TIfdEntry UndefinedEntry(uint16_t tag, TByteVector bytes) {
  return {tag, 7, static_cast<uint32_t>(bytes.size()), std::move(bytes), {}};
}
// An entry whose value field holds the given number (an offset, or a
// LONG value): the data it points to is not written.
inline TIfdEntry RawEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset) {
  return {tag, type, count, {}, offset};
}

// An 8-byte character code followed by the text bytes.
inline TByteVector UserComment(std::string_view code, const TByteVector& text) {
  TByteVector bytes(code.begin(), code.end());
  bytes.resize(8, 0);
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}
inline TByteVector TextBytes(std::string_view text) { return {text.begin(), text.end()}; }
inline TByteVector Utf16Bytes(std::u16string_view text, bool bigEndian) {
  TByteVector bytes;
  for (char16_t c : text) {
    const auto high = static_cast<uint8_t>(c >> 8), low = static_cast<uint8_t>(c);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
  return bytes;
}

struct TTiffLayout {
  bool BigEndian = false;
  std::vector<TIfdEntry> Ifd0, Exif, Ifd1;  // Exif: a sub-directory pointed to from IFD0
  std::optional<uint32_t> Ifd0Offset;       // 8 unless set
  std::optional<uint32_t> NextIfd;          // IFD0's next-directory pointer, if not IFD1's place
};

class TTiffWriter {
 public:
  explicit TTiffWriter(bool bigEndian) : fBig(bigEndian) {}
  TByteVector out;

  void Put16(uint32_t v) {
    out.push_back(static_cast<uint8_t>(fBig ? v >> 8 : v));
    out.push_back(static_cast<uint8_t>(fBig ? v : v >> 8));
  }
  void Put32(uint32_t v) {
    Put16(fBig ? v >> 16 : v & 0xFFFF);
    Put16(fBig ? v & 0xFFFF : v >> 16);
  }
  void Set32(size_t at, uint32_t v) {
    TTiffWriter field(fBig);
    field.Put32(v);
    std::copy(field.out.begin(), field.out.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
  }
  // Writes a directory and the values that do not fit in their entries;
  // returns where it starts.
  size_t PutIfd(const std::vector<TIfdEntry>& entries, uint32_t next) {
    const size_t start = out.size();
    Put16(static_cast<uint32_t>(entries.size()));
    for (const auto& e : entries) {
      Put16(e.Tag);
      Put16(e.Type);
      Put32(e.Count);
      Put32(0);
    }
    Put32(next);
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto& e = entries[i];
      const size_t field = start + 2 + 12 * i + 8;
      if (e.Offset) {
        Set32(field, *e.Offset);
      } else if (e.Value.size() <= 4) {
        std::copy(e.Value.begin(), e.Value.end(), out.begin() + static_cast<std::ptrdiff_t>(field));
      } else {
        Set32(field, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), e.Value.begin(), e.Value.end());
        if (out.size() & 1) out.push_back(0);
      }
    }
    return start;
  }

 private:
  bool fBig;
};

inline TByteVector MakeTiff(const TTiffLayout& layout) {
  TTiffWriter w(layout.BigEndian);
  w.out = layout.BigEndian ? TByteVector{'M', 'M', 0, 42} : TByteVector{'I', 'I', 42, 0};
  w.Put32(layout.Ifd0Offset.value_or(8));
  std::vector<TIfdEntry> ifd0 = layout.Ifd0;
  if (!layout.Exif.empty()) ifd0.push_back(RawEntry(0x8769, 4, 1, 0));
  const size_t ifd0At = w.PutIfd(ifd0, layout.NextIfd.value_or(0));
  if (!layout.Exif.empty())
    w.Set32(ifd0At + 2 + 12 * (ifd0.size() - 1) + 8, static_cast<uint32_t>(w.PutIfd(layout.Exif, 0)));
  if (!layout.Ifd1.empty()) {
    const size_t ifd1At = w.PutIfd(layout.Ifd1, 0);
    if (!layout.NextIfd) w.Set32(ifd0At + 2 + 12 * ifd0.size(), static_cast<uint32_t>(ifd1At));
  }
  return w.out;
}

// IPTC datasets: the tag marker, record, dataset and a 2-byte length.
struct TIptcValue {
  int Record = 2;
  int Dataset = 0;
  std::string Bytes;
};
inline TByteVector MakeIptc(const std::vector<TIptcValue>& values) {
  TByteVector out;
  for (const auto& v : values) {
    out.insert(out.end(), {0x1C, static_cast<uint8_t>(v.Record), static_cast<uint8_t>(v.Dataset),
                           static_cast<uint8_t>(v.Bytes.size() >> 8), static_cast<uint8_t>(v.Bytes.size())});
    out.insert(out.end(), v.Bytes.begin(), v.Bytes.end());
  }
  return out;
}

inline void PutBE32(TByteVector& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// One "8BIM" image resource with an empty name, padded to an even size.
inline TByteVector PhotoshopResource(uint16_t id, const TByteVector& data) {
  TByteVector out{'8', 'B', 'I', 'M', static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0, 0};
  PutBE32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(0);
  return out;
}

// A JPEG marker segment: FF, the marker, the length and the payload.
inline TByteVector JpegSegment(uint8_t marker, const TByteVector& payload) {
  const size_t length = payload.size() + 2;
  TByteVector out{0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
inline TByteVector ExifSegment(const TByteVector& tiff) {
  TByteVector payload{'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return JpegSegment(0xE1, payload);
}
inline TByteVector PhotoshopSegment(const TByteVector& resources) {
  const std::string_view header("Photoshop 3.0\0", 14);
  TByteVector payload(header.begin(), header.end());
  payload.insert(payload.end(), resources.begin(), resources.end());
  return JpegSegment(0xED, payload);
}

inline TByteVector SmallJpeg() { return MakeJpeg(PatternImage(8, 8, 5), 90); }

// The JPEG with the segments inserted right after its start-of-image marker.
inline TByteVector WithSegments(TByteVector jpeg, const std::vector<TByteVector>& segments) {
  auto at = jpeg.begin() + 2;
  for (const auto& s : segments) at = jpeg.insert(at, s.begin(), s.end()) + static_cast<std::ptrdiff_t>(s.size());
  return jpeg;
}

// A PNG chunk with a zero check sum (readers of metadata do not check it).
inline TByteVector PngChunk(std::string_view type, const TByteVector& data) {
  TByteVector out;
  PutBE32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  PutBE32(out, 0);
  return out;
}
// The PNG with the chunk inserted after its header chunk.
inline TByteVector WithPngChunk(TByteVector png, const TByteVector& chunk) {
  png.insert(png.begin() + 8 + 25, chunk.begin(), chunk.end());
  return png;
}

}  // namespace zel::testing
