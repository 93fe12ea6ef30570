// The kinds of object a slide holds and the table that makes them from the
// project's type names. Each kind reads the common keys; the keys and the
// drawing of their own arrive with each kind.
#pragma once

#include "show/zel_object.h"

namespace zel {

class TZelImage : public TZelObject {
 public:
  using TZelObject::TZelObject;
};

class TZelText : public TZelImage {
 public:
  using TZelImage::TZelImage;

 protected:
  bool ShadowEnabledByDefault() const override { return true; }
};

class TZelButton : public TZelImage {
 public:
  using TZelImage::TZelImage;
};

class TZelMask : public TZelImage {
 public:
  using TZelImage::TZelImage;
};

class TZelBox : public TZelObject {
 public:
  using TZelObject::TZelObject;
};

class TZelFrame : public TZelBox {
 public:
  using TZelBox::TZelBox;
};

class TZelVideo : public TZelObject {
 public:
  using TZelObject::TZelObject;
};

class TZelVideoMask : public TZelVideo {
 public:
  using TZelVideo::TZelVideo;
};

class TZelViewPort : public TZelObject {
 public:
  using TZelObject::TZelObject;
};

// A new object of the kind a folded project type names, registered with
// its parent; null for a type this player does not know.
TZelObject* CreateZelObject(TStringView foldedType, TZelObject* parent, TStringView guid);
bool IsZelObjectType(TStringView foldedType);
// Whether two folded type names make objects of the same class.
bool SameZelObjectClass(TStringView foldedTypeA, TStringView foldedTypeB);

}  // namespace zel
