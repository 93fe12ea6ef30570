// Named pixel formats. A name spells the layout: channel letters, each
// followed by its bit count, from the most significant bits of the pixel to
// the least significant. "A" alpha, "Y" luminance, "R", "G", "B" colour,
// "X" unused; a lower-case colour letter marks a premultiplied channel.
// Formats live in one registry, so equal names give the same object.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

struct TPixelChannel {
  char16_t Letter;  // as written in the name
  int Bits;
  int Shift;        // of the channel's lowest bit inside the pixel value
  bool Premultiplied;
  // The letter channels are matched by: upper case, luminance as alpha.
  char16_t Key() const;
};

class TCommonPixelFormat : public TObj {
 public:
  // Nothing when the name is not a valid layout.
  static TCommonPixelFormat* Find(TStringView name);

  const TString& Name() const { return fName; }
  std::string NameUtf8() const { return StringToUtf8(fName); }
  int BitsPerPixel() const { return fBitsPerPixel; }
  int BytesPerPixel() const { return fBytesPerPixel; }
  bool BitPacked() const { return fBitPacked; }
  bool HasAlpha() const { return fHasAlpha; }
  const std::vector<TPixelChannel>& Channels() const { return fChannels; }
  // The channel matching key (see TPixelChannel::Key), or nothing.
  const TPixelChannel* ChannelFor(char16_t key) const;

  // Parses a layout; false when the name is not one.
  static bool Parse(TStringView name, std::vector<TPixelChannel>& channels);

 private:
  friend class TPixelFormatRegistry;
  explicit TCommonPixelFormat(TString name, std::vector<TPixelChannel> channels);

  TString fName;
  std::vector<TPixelChannel> fChannels;
  int fBitsPerPixel = 0;
  int fBytesPerPixel = 0;
  bool fBitPacked = false;
  bool fHasAlpha = false;
};

// The registry's format for a name; a programming error when the name is
// not a valid layout.
TCommonPixelFormat* PixelFormat(TStringView name);
TCommonPixelFormat* PixelFormat(std::string_view asciiName);

// The formats the system uses most.
TCommonPixelFormat* FormatY8();
TCommonPixelFormat* FormatA8();
TCommonPixelFormat* FormatR8G8B8();
TCommonPixelFormat* FormatB8G8R8();
TCommonPixelFormat* FormatA8R8G8B8();
TCommonPixelFormat* FormatA8r8g8b8();
TCommonPixelFormat* FormatB5G6R5();
TCommonPixelFormat* FormatB5G5R5X1();

}  // namespace zel
