#include "show/slide_background.h"

#include "ini/ini_document.h"

namespace zel {

namespace {

TBackgroundDescriptor ReadBackgroundKeys(const TIniIdentList& keys, TStringView prefix) {
  const auto key = [&](TStringView name) { return TString(prefix) + TString(name); };
  TBackgroundDescriptor background;
  switch (keys.ReadInteger(key(u"bstyle"), 0)) {
    case 1:
      background.color1 = RgbFromInteger(keys.ReadInteger(key(u"bname"), 0));
      break;
    case 2:
      background.imageName = keys.ReadString(key(u"bname"), u"");
      if (!background.imageName.empty()) background.kind = TBackgroundKind::Picture;
      background.size = keys.ReadFloat(key(u"bsize"), 100);
      break;
    case 3: {
      const int32_t colorStyle = keys.ReadInteger(key(u"bcolorstyle"), 0);
      if (colorStyle != 1 && colorStyle != 2) break;
      background.kind = colorStyle == 1 ? TBackgroundKind::Gradient2 : TBackgroundKind::Gradient1;
      background.color1 = RgbFromInteger(keys.ReadInteger(key(u"bcolor1"), 0));
      background.color2 = RgbFromInteger(keys.ReadInteger(key(u"bcolor2"), 0));
      break;
    }
    default:
      break;
  }
  return background;
}

}  // namespace

TBackgroundDescriptor ReadSlideBackground(const TIniIdentList& main, const TIniIdentList* slideSection) {
  if (slideSection && slideSection->ReadString(u"UsePersonal", u"") == u"1" &&
      slideSection->ReadString(u"Pers_Fon", u"") == u"1")
    return ReadBackgroundKeys(*slideSection, u"");
  return ReadBackgroundKeys(main, u"opt_");
}

}  // namespace zel
