// The kinds of object a slide holds and the table that makes them from the
// project's type names. Pictures, masks, boxes, frames and viewports have
// files of their own; text, buttons and video read the common keys (and a
// picture's) until their own keys and drawing arrive.
#pragma once

#include "show/box_object.h"
#include "show/picture_object.h"
#include "show/viewport_object.h"
#include "show/zel_object.h"

namespace zel {

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

class TZelVideo : public TZelObject {
 public:
  using TZelObject::TZelObject;
};

class TZelVideoMask : public TZelVideo {
 public:
  using TZelVideo::TZelVideo;
};

// A new object of the kind a folded project type names, registered with
// its parent; null for a type this player does not know.
TZelObject* CreateZelObject(TStringView foldedType, TZelObject* parent, TStringView guid);
bool IsZelObjectType(TStringView foldedType);
// Whether two folded type names make objects of the same class.
bool SameZelObjectClass(TStringView foldedTypeA, TStringView foldedTypeB);

}  // namespace zel
