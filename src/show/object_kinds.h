// The kinds of object a slide holds and the table that makes them from the
// project's type names. Each kind has a file of its own; video reads the
// common keys until its own keys and drawing arrive.
#pragma once

#include "show/box_object.h"
#include "show/button_object.h"
#include "show/picture_object.h"
#include "show/text_object.h"
#include "show/viewport_object.h"
#include "show/zel_object.h"

namespace zel {

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
