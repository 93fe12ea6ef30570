#include "show/object_kinds.h"

#include <array>

namespace zel {

namespace {

using TMaker = TZelObject* (*)(TZelObject* parent, TStringView guid);

template <class T>
TZelObject* Make(TZelObject* parent, TStringView guid) {
  return new T(parent, guid);
}

struct TClassEntry {
  TStringView type;
  TMaker make;
};

const std::array<TClassEntry, 12> kClassTable = {{
    {u"image", Make<TZelImage>},
    {u"mainimage", Make<TZelImage>},
    {u"text", Make<TZelText>},
    {u"textcomment", Make<TZelText>},
    {u"button", Make<TZelButton>},
    {u"mask", Make<TZelMask>},
    {u"box", Make<TZelBox>},
    {u"frame", Make<TZelFrame>},
    {u"video", Make<TZelVideo>},
    {u"mainvideo", Make<TZelVideo>},
    {u"videomask", Make<TZelVideoMask>},
    {u"viewport", Make<TZelViewPort>},
}};

TMaker MakerOf(TStringView foldedType) {
  for (const TClassEntry& entry : kClassTable)
    if (entry.type == foldedType) return entry.make;
  return nullptr;
}

}  // namespace

TZelObject* CreateZelObject(TStringView foldedType, TZelObject* parent, TStringView guid) {
  const TMaker make = MakerOf(foldedType);
  return make ? make(parent, guid) : nullptr;
}

bool IsZelObjectType(TStringView foldedType) { return MakerOf(foldedType) != nullptr; }

bool SameZelObjectClass(TStringView foldedTypeA, TStringView foldedTypeB) {
  const TMaker a = MakerOf(foldedTypeA);
  return a && a == MakerOf(foldedTypeB);
}

}  // namespace zel
