#include "imaging/pixel_format.h"

#include <memory>
#include <mutex>

#include "core/hash_list.h"
#include "core/sync.h"

namespace zel {

char16_t TPixelChannel::Key() const {
  char16_t c = Letter;
  if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return c == u'Y' ? u'A' : c;
}

namespace {

bool IsLayoutLetter(char16_t c) {
  switch (c) {
    case u'A': case u'Y': case u'R': case u'G': case u'B': case u'X':
    case u'r': case u'g': case u'b':
      return true;
    default:
      return false;
  }
}

// The two 16-bit formats the BMP decoder, Fill and the device's 16-bit
// textures share keep blue in the low bits: their names list the channels
// from the least significant end. Reading them the other way would swap red
// and blue in every 16-bit picture converted to a wider format.
bool NameListsLowBitsFirst(TStringView name) { return name == u"B5G6R5" || name == u"B5G5R5X1"; }

}  // namespace

bool TCommonPixelFormat::Parse(TStringView name, std::vector<TPixelChannel>& channels) {
  channels.clear();
  size_t i = 0;
  int total = 0;
  while (i < name.size()) {
    const char16_t letter = name[i++];
    if (!IsLayoutLetter(letter)) return false;
    int bits = 0;
    size_t digits = 0;
    while (i < name.size() && name[i] >= u'0' && name[i] <= u'9') {
      bits = bits * 10 + (name[i] - u'0');
      ++i;
      if (++digits > 2) return false;
    }
    if (bits <= 0) return false;
    total += bits;
    if (total > 64) return false;
    channels.push_back({letter, bits, 0, letter == u'r' || letter == u'g' || letter == u'b'});
  }
  if (channels.empty()) return false;
  if (NameListsLowBitsFirst(name)) {
    int shift = 0;
    for (auto& channel : channels) {
      channel.Shift = shift;
      shift += channel.Bits;
    }
  } else {
    int shift = total;
    for (auto& channel : channels) {
      shift -= channel.Bits;
      channel.Shift = shift;
    }
  }
  return true;
}

TCommonPixelFormat::TCommonPixelFormat(TString name, std::vector<TPixelChannel> channels)
    : fName(std::move(name)), fChannels(std::move(channels)) {
  for (const auto& channel : fChannels) {
    fBitsPerPixel += channel.Bits;
    if (channel.Bits % 8 != 0) fBitPacked = true;
    if (channel.Key() == u'A') fHasAlpha = true;
  }
  fBytesPerPixel = (fBitsPerPixel - 1) / 8 + 1;
}

const TPixelChannel* TCommonPixelFormat::ChannelFor(char16_t key) const {
  for (const auto& channel : fChannels)
    if (channel.Key() == key) return &channel;
  return nullptr;
}

// The registry: a hash list of 251 buckets. It is filled on demand from any
// thread, so it has its own lock.
class TPixelFormatRegistry {
 public:
  static TPixelFormatRegistry& Instance() {
    static TPixelFormatRegistry registry;
    return registry;
  }

  TCommonPixelFormat* Find(TStringView name) {
    std::lock_guard guard(fLock);
    TEntry* entry = fFormats.Find(name);
    if (entry) return entry->Format.get();
    std::vector<TPixelChannel> channels;
    if (!TCommonPixelFormat::Parse(name, channels)) return nullptr;
    entry = fFormats.FindOrAdd(name);
    entry->Format.reset(new TCommonPixelFormat(TString(name), std::move(channels)));
    return entry->Format.get();
  }

 private:
  struct TEntry : TKeyItem {
    using TKeyItem::TKeyItem;
    std::unique_ptr<TCommonPixelFormat> Format;
  };
  TCriticalSection fLock;
  THashListOf<TEntry> fFormats{251};
};

TCommonPixelFormat* TCommonPixelFormat::Find(TStringView name) { return TPixelFormatRegistry::Instance().Find(name); }

TCommonPixelFormat* PixelFormat(TStringView name) {
  TCommonPixelFormat* format = TCommonPixelFormat::Find(name);
  ZEL_ASSERT(format != nullptr, "Invalid Pixel Format Name '" + StringToUtf8(name) + "'");
  return format;
}

TCommonPixelFormat* PixelFormat(std::string_view asciiName) { return PixelFormat(AsciiToString(asciiName)); }

#define ZEL_FORMAT_GETTER(Fn, Text)                       \
  TCommonPixelFormat* Fn() {                              \
    static TCommonPixelFormat* const format = PixelFormat(TStringView(Text)); \
    return format;                                        \
  }
ZEL_FORMAT_GETTER(FormatY8, u"Y8")
ZEL_FORMAT_GETTER(FormatA8, u"A8")
ZEL_FORMAT_GETTER(FormatR8G8B8, u"R8G8B8")
ZEL_FORMAT_GETTER(FormatB8G8R8, u"B8G8R8")
ZEL_FORMAT_GETTER(FormatA8R8G8B8, u"A8R8G8B8")
ZEL_FORMAT_GETTER(FormatA8r8g8b8, u"A8r8g8b8")
ZEL_FORMAT_GETTER(FormatB5G6R5, u"B5G6R5")
ZEL_FORMAT_GETTER(FormatB5G5R5X1, u"B5G5R5X1")
#undef ZEL_FORMAT_GETTER

}  // namespace zel
