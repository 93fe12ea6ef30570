// Text macros: "<%SlideIndex%>", "<%MainImg.FileName%>", "<%MainImg.IPTC.City%>"
// and the rest, replaced in a text by values of its slide and of the slide's
// main picture.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/strings.h"

namespace zel {

// The values a text asks its owner for. The names after "MainImg." that
// are worked out from another value (FileName from PathNameExt, Date and
// Time from the EXIF date-time) are not among them.
enum class TMacroValue : uint8_t {
  SlideIndex,
  SlidesCount,
  Width,
  Height,
  ExifComment,
  ExifDescription,
  PathNameExt,
  ExifDateTime,
  IptcDocumentTitle,
  IptcSpecialInstructions,
  IptcAuthorByline,
  IptcAuthorTitle,
  IptcCity,
  IptcSublocation,
  IptcProvinceState,
  IptcCountry,
  IptcOTR,
  IptcHeadline,
  IptcCredits,
  IptcSource,
  IptcCopyright,
  IptcCaptionDescription,
  IptcCaptionWriter,
};
inline constexpr int kMacroValueCount = static_cast<int>(TMacroValue::IptcCaptionWriter) + 1;

// The IPTC record 2 dataset behind an IPTC value; 0 for the others.
int IptcDatasetOf(TMacroValue value);

// The parts of a picture name as stored in a show ("C:\Photos\Trip\img_01.jpg"),
// folders separated by "\".
TString FileNameExtOf(TStringView path);   // "img_01.jpg"
TString FileNameOf(TStringView path);      // "img_01"
TString PathNameOf(TStringView path);      // "C:\Photos\Trip\img_01"
TString FolderPathOf(TStringView path);    // "C:\Photos\Trip\"
TString FolderNameOf(TStringView path);    // "Trip"

class TMTParser {
 public:
  using TValueSource = std::function<TString(TMacroValue value)>;

  explicit TMTParser(TValueSource values) : fValues(std::move(values)) {}

  // Replaces every macro (names compared without regard to case) in one
  // pass from left to right, so that text a value brings in (a picture
  // comment holding "<%...%>") stays as it is. Unknown names are kept.
  // Each value is asked for once per call. An empty result is one space.
  TString Expand(TStringView text) const;

 private:
  TValueSource fValues;
};

}  // namespace zel
