// The EXIF and IPTC values of a picture file that text macros show: the
// date-time, user comment and description of the EXIF data, and fifteen
// IPTC datasets of record 2 (titles, names, places, credits, caption).
//
// Where the values are found:
// - JPEG: the first APP1 segment that starts with "Exif\0\0" (EXIF) and the
//   APP13 segments that start with "Photoshop 3.0\0" (their image resources
//   joined, so that a resource block continued in the next segment reads
//   whole), whose resource 0x0404 holds the IPTC datasets. Only the segments
//   before the start of the scan are looked at.
// - PNG: the first "eXIf" chunk before the picture data (EXIF only).
// Any other file, and any damaged or missing part, gives empty values.
//
// Text: IPTC text is UTF-8 when dataset 1:90 says so, otherwise in the ANSI
// code page, as are EXIF ASCII values. Every value is cut at its first NUL,
// its surrounding blanks and control characters are removed and it is
// limited to kMaxMetadataChars UTF-16 units.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/strings.h"

namespace zel {

class TFileAccessor;
class TStream;

// One IPTC value a macro reads: its dataset number in record 2 and the
// macro's name after "MainImg.".
struct TIptcField {
  int Dataset;
  std::string_view MacroName;
};

// In the order the macros are listed and expanded.
inline constexpr std::array<TIptcField, 15> kIptcFields = {{
    {5, "IPTC.DocumentTitle"},
    {40, "IPTC.SpecialInstructions"},
    {80, "IPTC.AuthorByline"},
    {85, "IPTC.AuthorTitle"},
    {90, "IPTC.City"},
    {92, "IPTC.Sublocation"},
    {95, "IPTC.ProvinceState"},
    {101, "IPTC.Country"},
    {103, "IPTC.OTR"},
    {105, "IPTC.Headline"},
    {110, "IPTC.Credits"},
    {115, "IPTC.Source"},
    {116, "IPTC.Copyright"},
    {120, "IPTC.CaptionDescription"},
    {122, "IPTC.CaptionWriter"},
}};

// The longest value kept, in UTF-16 units.
inline constexpr size_t kMaxMetadataChars = 8192;
// How much of a file (or of a stream's header segments) is looked at.
inline constexpr size_t kMaxMetadataScanBytes = size_t{16} << 20;

struct TPictureMetadata {
  TString ExifDateTime;     // tag 0x0132 of the first image directory
  TString ExifComment;      // tag 0x9286, the first one found
  TString ExifDescription;  // tag 0x010E, the first one found
  // The first value of each dataset of kIptcFields, in that order.
  std::array<TString, kIptcFields.size()> IptcValues;

  // The value of dataset 2:dataset; empty for a dataset not in kIptcFields.
  const TString& Iptc(int dataset) const;
  // The date-time up to its first space, and the rest after that space
  // (empty when there is no space).
  TString ExifDate() const;
  TString ExifTime() const;
  bool Empty() const;
};

// Never throws, never hangs, on any bytes: damaged offsets, huge counts and
// looping directories give empty values.
TPictureMetadata ReadPictureMetadata(std::span<const uint8_t> fileBytes);

// Reads the stream from its position only as far as needed (a JPEG's
// segments up to the start of the scan, a PNG's chunks up to the picture
// data). Never throws: a stream error gives what was read before it.
TPictureMetadata ReadPictureMetadata(TStream& stream);

// The file of the show by name, through the accessor; a missing or
// unreadable file gives empty values. Logs nothing.
TPictureMetadata ReadPictureMetadata(TFileAccessor& accessor, TStringView name);

// Every value a "MainImg." metadata macro shows, named as after "MainImg."
// ("Exif.Date", "Exif.Time", "Exif.Comment", "Exif.Description", then the
// IPTC names of kIptcFields), in the order of the macro table.
std::vector<std::pair<std::string_view, TString>> MetadataMacroValues(const TPictureMetadata& metadata);

}  // namespace zel
