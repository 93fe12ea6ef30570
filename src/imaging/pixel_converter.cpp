#include "imaging/pixel_converter.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "core/hash_list.h"
#include "core/sync.h"

namespace zel {

namespace {

// Pixels of up to 8 bytes, little-endian in memory.
uint64_t LoadPixel(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
void StorePixel(uint8_t* p, int bytes, uint64_t v) {
  for (int i = 0; i < bytes; ++i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

class TDirectConvertor : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    if (count > 0) std::memmove(destination, source, static_cast<size_t>(count) * Source()->BytesPerPixel());
  }
};

// Neither format bit-packed: each destination byte comes from a source byte
// or is a fixed fill.
class TByteConvertor : public TConvertOperator {
 public:
  TByteConvertor(TCommonPixelFormat* source, TCommonPixelFormat* destination)
      : TConvertOperator(source, destination) {
    const int bytes = destination->BytesPerPixel();
    fMap.assign(static_cast<size_t>(bytes), {-1, 0});
    for (const auto& channel : destination->Channels()) {
      const TPixelChannel* from = channel.Key() == u'X' ? nullptr : source->ChannelFor(channel.Key());
      const bool maximal = channel.Key() == u'A';
      const int width = channel.Bits / 8;
      for (int k = 0; k < width; ++k) {
        const int index = channel.Shift / 8 + k;
        if (index >= bytes) continue;
        if (from) {
          // Wider and narrower channels line up at their top bytes.
          const int sourceByte = from->Shift / 8 + k + (from->Bits / 8 - width);
          if (sourceByte >= from->Shift / 8) {
            fMap[static_cast<size_t>(index)] = {sourceByte, 0};
            continue;
          }
        }
        fMap[static_cast<size_t>(index)] = {-1, static_cast<uint8_t>(maximal ? 255 : 0)};
      }
    }
  }

  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    const int sourceBytes = Source()->BytesPerPixel();
    const int bytes = static_cast<int>(fMap.size());
    for (int i = 0; i < count; ++i, source += sourceBytes, destination += bytes)
      for (int k = 0; k < bytes; ++k) {
        const auto& m = fMap[static_cast<size_t>(k)];
        destination[k] = m.from >= 0 ? source[m.from] : m.fill;
      }
  }

 private:
  struct TByteSource {
    int from;
    uint8_t fill;
  };
  std::vector<TByteSource> fMap;
};

// Either format bit-packed: each destination channel comes from the source
// channel of the same letter through a table.
class TBitConvertor : public TConvertOperator {
 public:
  TBitConvertor(TCommonPixelFormat* source, TCommonPixelFormat* destination)
      : TConvertOperator(source, destination) {
    for (const auto& channel : destination->Channels()) {
      if (channel.Key() == u'X') continue;
      const TPixelChannel* from = source->ChannelFor(channel.Key());
      const uint64_t maxValue = channel.Bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << channel.Bits) - 1;
      if (!from) {
        if (channel.Key() == u'A') fFixed |= maxValue << channel.Shift;
        continue;
      }
      TMapping mapping{from->Shift, from->Bits, channel.Shift, channel.Bits, {}};
      if (from->Bits <= 16) {
        mapping.table.resize(size_t{1} << from->Bits);
        for (uint64_t v = 0; v < mapping.table.size(); ++v) mapping.table[v] = Scale(v, from->Bits, channel.Bits);
      }
      fMappings.push_back(std::move(mapping));
    }
  }

  // Equal widths copy; narrowing drops low bits; widening fills the new low
  // bits with ones, except that zero stays zero.
  static uint64_t Scale(uint64_t v, int from, int to) {
    if (from == to) return v;
    if (from > to) return v >> (from - to);
    if (v == 0) return 0;
    const int extra = to - from;
    return (v << extra) | ((uint64_t{1} << extra) - 1);
  }

  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    const int sourceBytes = Source()->BytesPerPixel();
    const int bytes = Destination()->BytesPerPixel();
    for (int i = 0; i < count; ++i, source += sourceBytes, destination += bytes) {
      const uint64_t in = LoadPixel(source, sourceBytes);
      uint64_t out = fFixed;
      for (const auto& m : fMappings) {
        const uint64_t mask = m.fromBits >= 64 ? ~uint64_t{0} : (uint64_t{1} << m.fromBits) - 1;
        const uint64_t v = (in >> m.fromShift) & mask;
        out |= (m.table.empty() ? Scale(v, m.fromBits, m.toBits) : m.table[v]) << m.toShift;
      }
      StorePixel(destination, bytes, out);
    }
  }

 private:
  struct TMapping {
    int fromShift, fromBits, toShift, toBits;
    std::vector<uint64_t> table;
  };
  std::vector<TMapping> fMappings;
  uint64_t fFixed = 0;
};

// "A8" or "Y8" to 24-bit colour (the byte three times) or to the 16-bit
// formats (the grey value packed as a 5-6-5 or 5-5-5 grey).
class TAYtoRGBConvertor : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    const int bytes = Destination()->BytesPerPixel();
    if (bytes == 3) {
      for (int i = 0; i < count; ++i, destination += 3) destination[0] = destination[1] = destination[2] = source[i];
      return;
    }
    const bool sixBitGreen = Destination() == FormatB5G6R5();
    for (int i = 0; i < count; ++i, destination += 2) {
      const uint32_t v = source[i];
      const uint32_t five = v >> 3;
      const uint32_t packed = sixBitGreen ? (five << 11) | ((v >> 2) << 5) | five : (five << 10) | (five << 5) | five;
      destination[0] = static_cast<uint8_t>(packed);
      destination[1] = static_cast<uint8_t>(packed >> 8);
    }
  }
};

class TRGBToRGBA : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    for (int i = 0; i < count; ++i, source += 3, destination += 4) {
      destination[0] = source[0];
      destination[1] = source[1];
      destination[2] = source[2];
      destination[3] = 255;
    }
  }
};

class TRGBAToRGB : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    for (int i = 0; i < count; ++i, source += 4, destination += 3) {
      destination[0] = source[0];
      destination[1] = source[1];
      destination[2] = source[2];
    }
  }
};

// 16-bit sources widened by plain shifts (low bits zero).
class TR5G6B5ToBGR8 : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    for (int i = 0; i < count; ++i, source += 2, destination += 3) {
      const uint32_t v = source[0] | (source[1] << 8);
      destination[0] = static_cast<uint8_t>((v & 0x1F) * 8);
      destination[1] = static_cast<uint8_t>(((v >> 5) & 0x3F) * 4);
      destination[2] = static_cast<uint8_t>(((v >> 11) & 0x1F) * 8);
    }
  }
};

class TX1R5G5B5ToBGR8 : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    for (int i = 0; i < count; ++i, source += 2, destination += 3) {
      const uint32_t v = source[0] | (source[1] << 8);
      destination[0] = static_cast<uint8_t>((v & 0x1F) * 8);
      destination[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) * 8);
      destination[2] = static_cast<uint8_t>(((v >> 10) & 0x1F) * 8);
    }
  }
};

class TBGRAToPremulBGRA : public TConvertOperator {
 public:
  using TConvertOperator::TConvertOperator;
  void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const override {
    for (int i = 0; i < count; ++i, source += 4, destination += 4) {
      const uint32_t alpha = source[3];
      if (alpha == 0) {
        std::memset(destination, 0, 4);
      } else if (alpha == 255) {
        std::memmove(destination, source, 4);
      } else {
        destination[0] = static_cast<uint8_t>((source[0] * alpha) >> 8);
        destination[1] = static_cast<uint8_t>((source[1] * alpha) >> 8);
        destination[2] = static_cast<uint8_t>((source[2] * alpha) >> 8);
        destination[3] = static_cast<uint8_t>(alpha);
      }
    }
  }
};

TString PairKey(TCommonPixelFormat* source, TCommonPixelFormat* destination) {
  return source->Name() + u"->" + destination->Name();
}

class TConverterRegistry {
 public:
  static TConverterRegistry& Instance() {
    static TConverterRegistry registry;
    return registry;
  }

  const TConvertOperator* Get(TCommonPixelFormat* source, TCommonPixelFormat* destination) {
    std::lock_guard guard(fLock);
    const TString key = PairKey(source, destination);
    if (TEntry* entry = fConverters.Find(key)) return entry->Converter.get();
    std::unique_ptr<TConvertOperator> converter;
    if (source == destination)
      converter = std::make_unique<TDirectConvertor>(source, destination);
    else if (source->BitPacked() || destination->BitPacked())
      converter = std::make_unique<TBitConvertor>(source, destination);
    else
      converter = std::make_unique<TByteConvertor>(source, destination);
    return Add(std::move(converter));
  }

 private:
  TConverterRegistry() {
    for (const char* from : {"A8", "Y8"})
      for (const char* to : {"R8G8B8", "B8G8R8", "B5G6R5", "B5G5R5X1"}) Register<TAYtoRGBConvertor>(from, to);
    Register<TRGBToRGBA>("R8G8B8", "A8R8G8B8");
    Register<TRGBToRGBA>("B8G8R8", "A8B8G8R8");
    Register<TRGBToRGBA>("R8G8B8", "A8r8g8b8");
    Register<TRGBToRGBA>("B8G8R8", "A8b8g8r8");
    Register<TRGBAToRGB>("A8R8G8B8", "R8G8B8");
    Register<TRGBAToRGB>("A8B8G8R8", "B8G8R8");
    Register<TR5G6B5ToBGR8>("R5G6B5", "R8G8B8");
    Register<TX1R5G5B5ToBGR8>("X1R5G5B5", "R8G8B8");
    Register<TBGRAToPremulBGRA>("A8R8G8B8", "A8r8g8b8");
    Register<TBGRAToPremulBGRA>("A8B8G8R8", "A8b8g8r8");
  }

  template <typename Converter>
  void Register(const char* from, const char* to) {
    Add(std::make_unique<Converter>(PixelFormat(std::string_view(from)), PixelFormat(std::string_view(to))));
  }

  const TConvertOperator* Add(std::unique_ptr<TConvertOperator> converter) {
    TEntry* entry = fConverters.FindOrAdd(PairKey(converter->Source(), converter->Destination()));
    entry->Converter = std::move(converter);
    return entry->Converter.get();
  }

  struct TEntry : TKeyItem {
    using TKeyItem::TKeyItem;
    std::unique_ptr<TConvertOperator> Converter;
  };
  TCriticalSection fLock;
  THashListOf<TEntry> fConverters{251};
};

}  // namespace

const TConvertOperator* GetConverter(TCommonPixelFormat* source, TCommonPixelFormat* destination) {
  ZEL_ASSERT(source != nullptr && destination != nullptr, "GetConverter - Format not Assigned");
  return TConverterRegistry::Instance().Get(source, destination);
}

}  // namespace zel
