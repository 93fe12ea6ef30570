#include "show/text_macros.h"

#include <array>

namespace zel {

namespace {

// How a macro's text is worked out from the owner's values.
enum class TDerivation : uint8_t { Value, FileName, PathName, FileNameExt, FolderPath, FolderName, Date, Time };

struct TMacroEntry {
  TStringView name;  // lower case, between "<%" and "%>"
  TMacroValue value;
  TDerivation derivation = TDerivation::Value;
};

constexpr std::array<TMacroEntry, 29> kMacros = {{
    {u"slideindex", TMacroValue::SlideIndex},
    {u"slidescount", TMacroValue::SlidesCount},
    {u"mainimg.width", TMacroValue::Width},
    {u"mainimg.height", TMacroValue::Height},
    {u"mainimg.exif.comment", TMacroValue::ExifComment},
    {u"mainimg.exif.description", TMacroValue::ExifDescription},
    {u"mainimg.pathnameext", TMacroValue::PathNameExt},
    {u"mainimg.iptc.documenttitle", TMacroValue::IptcDocumentTitle},
    {u"mainimg.iptc.specialinstructions", TMacroValue::IptcSpecialInstructions},
    {u"mainimg.iptc.authorbyline", TMacroValue::IptcAuthorByline},
    {u"mainimg.iptc.authortitle", TMacroValue::IptcAuthorTitle},
    {u"mainimg.iptc.city", TMacroValue::IptcCity},
    {u"mainimg.iptc.sublocation", TMacroValue::IptcSublocation},
    {u"mainimg.iptc.provincestate", TMacroValue::IptcProvinceState},
    {u"mainimg.iptc.country", TMacroValue::IptcCountry},
    {u"mainimg.iptc.otr", TMacroValue::IptcOTR},
    {u"mainimg.iptc.headline", TMacroValue::IptcHeadline},
    {u"mainimg.iptc.credits", TMacroValue::IptcCredits},
    {u"mainimg.iptc.source", TMacroValue::IptcSource},
    {u"mainimg.iptc.copyright", TMacroValue::IptcCopyright},
    {u"mainimg.iptc.captiondescription", TMacroValue::IptcCaptionDescription},
    {u"mainimg.iptc.captionwriter", TMacroValue::IptcCaptionWriter},
    {u"mainimg.filename", TMacroValue::PathNameExt, TDerivation::FileName},
    {u"mainimg.pathname", TMacroValue::PathNameExt, TDerivation::PathName},
    {u"mainimg.filenameext", TMacroValue::PathNameExt, TDerivation::FileNameExt},
    {u"mainimg.folderpath", TMacroValue::PathNameExt, TDerivation::FolderPath},
    {u"mainimg.foldername", TMacroValue::PathNameExt, TDerivation::FolderName},
    {u"mainimg.exif.date", TMacroValue::ExifDateTime, TDerivation::Date},
    {u"mainimg.exif.time", TMacroValue::ExifDateTime, TDerivation::Time},
}};

constexpr std::array<std::pair<TMacroValue, int>, 15> kIptcDatasets = {{
    {TMacroValue::IptcDocumentTitle, 5},        {TMacroValue::IptcSpecialInstructions, 40},
    {TMacroValue::IptcAuthorByline, 80},        {TMacroValue::IptcAuthorTitle, 85},
    {TMacroValue::IptcCity, 90},                {TMacroValue::IptcSublocation, 92},
    {TMacroValue::IptcProvinceState, 95},       {TMacroValue::IptcCountry, 101},
    {TMacroValue::IptcOTR, 103},                {TMacroValue::IptcHeadline, 105},
    {TMacroValue::IptcCredits, 110},            {TMacroValue::IptcSource, 115},
    {TMacroValue::IptcCopyright, 116},          {TMacroValue::IptcCaptionDescription, 120},
    {TMacroValue::IptcCaptionWriter, 122},
}};

// The longest macro name, so that an unclosed "<%" never scans far.
constexpr size_t kLongestName = 40;

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

const TMacroEntry* FindMacro(TStringView name) {
  for (const TMacroEntry& entry : kMacros) {
    if (entry.name.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; same && i < name.size(); ++i) same = FoldAscii(name[i]) == entry.name[i];
    if (same) return &entry;
  }
  return nullptr;
}

size_t LastBackslash(TStringView path) { return path.rfind(u'\\'); }

// The position of the extension's dot in the file-name part, or npos.
size_t ExtensionDot(TStringView path) {
  const size_t dot = path.rfind(u'.');
  const size_t slash = LastBackslash(path);
  if (dot == TStringView::npos || (slash != TStringView::npos && dot < slash)) return TStringView::npos;
  return dot;
}

TString Derive(TDerivation derivation, const TString& value) {
  switch (derivation) {
    case TDerivation::Value:
      return value;
    case TDerivation::FileName:
      return FileNameOf(value);
    case TDerivation::PathName:
      return PathNameOf(value);
    case TDerivation::FileNameExt:
      return FileNameExtOf(value);
    case TDerivation::FolderPath:
      return FolderPathOf(value);
    case TDerivation::FolderName:
      return FolderNameOf(value);
    case TDerivation::Date:
    case TDerivation::Time: {
      const size_t space = value.find(u' ');
      if (derivation == TDerivation::Date) return space == TString::npos ? value : value.substr(0, space);
      return space == TString::npos ? TString() : value.substr(space + 1);
    }
  }
  return value;
}

}  // namespace

int IptcDatasetOf(TMacroValue value) {
  for (const auto& [which, dataset] : kIptcDatasets)
    if (which == value) return dataset;
  return 0;
}

TString FileNameExtOf(TStringView path) {
  const size_t slash = LastBackslash(path);
  return TString(slash == TStringView::npos ? path : path.substr(slash + 1));
}

TString FileNameOf(TStringView path) {
  const TString name = FileNameExtOf(path);
  const size_t dot = ExtensionDot(name);
  return dot == TString::npos ? name : name.substr(0, dot);
}

TString PathNameOf(TStringView path) {
  const size_t dot = ExtensionDot(path);
  return TString(dot == TStringView::npos ? path : path.substr(0, dot));
}

TString FolderPathOf(TStringView path) {
  const size_t slash = LastBackslash(path);
  return slash == TStringView::npos ? TString() : TString(path.substr(0, slash + 1));
}

TString FolderNameOf(TStringView path) {
  const size_t slash = LastBackslash(path);
  if (slash == TStringView::npos || slash == 0) return {};
  const size_t before = path.rfind(u'\\', slash - 1);
  const size_t start = before == TStringView::npos ? 0 : before + 1;
  return TString(path.substr(start, slash - start));
}

TString TMTParser::Expand(TStringView text) const {
  std::array<std::optional<TString>, kMacroValueCount> asked;
  const auto valueOf = [&](TMacroValue which) -> const TString& {
    std::optional<TString>& slot = asked[static_cast<size_t>(which)];
    if (!slot) slot = fValues ? fValues(which) : TString();
    return *slot;
  };

  TString result;
  result.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find(u"<%", at);
    if (open == TStringView::npos) break;
    const size_t close = text.find(u"%>", open + 2);
    const TMacroEntry* macro = nullptr;
    if (close != TStringView::npos && close - open - 2 <= kLongestName)
      macro = FindMacro(text.substr(open + 2, close - open - 2));
    if (!macro) {
      // Not a macro: the "<" stays and the scan goes on after it.
      result.append(text.substr(at, open + 1 - at));
      at = open + 1;
      continue;
    }
    result.append(text.substr(at, open - at));
    result += Derive(macro->derivation, valueOf(macro->value));
    at = close + 2;
  }
  result.append(text.substr(at));
  if (result.empty()) result.push_back(u' ');
  return result;
}

}  // namespace zel
