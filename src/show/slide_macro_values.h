// The values behind a text's macros: the place of its slide in the show and
// the slide's main picture (its name, size and the metadata in its file).
#pragma once

#include <optional>

#include "core/strings.h"
#include "imaging/picture_metadata.h"
#include "show/text_macros.h"

namespace zel {

class TZelImage;
class TZelObject;

// The slide's main picture: the first picture object, depth first in
// project order, with "ImageIndex" set; null when there is none.
const TZelImage* FindMainPicture(const TZelObject& root);

// Answers a text's value questions; the main picture is looked up, and its
// file's metadata read, at most once for all the questions of one text.
class TSlideMacroValues {
 public:
  explicit TSlideMacroValues(const TZelObject& text) : fText(text) {}
  TString Value(TMacroValue which);

 private:
  const TZelImage* MainPicture();
  TString PictureSize(bool width);
  const TPictureMetadata& Metadata();

  const TZelObject& fText;
  bool fMainLooked = false;
  const TZelImage* fMain = nullptr;
  std::optional<TPictureMetadata> fMetadata;
};

}  // namespace zel
